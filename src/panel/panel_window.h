#pragma once

#include <QPoint>
#include <QWidget>

class AppContext;
class DropIntake;

// The floating panel: a tiny borderless window above all others that takes
// dropped files, runs the queue (kp) and ends the program (sys_exit).
// Its face can be dragged anywhere; a double-click toggles the main window
// and a right-click pops up the panel menu.
class Form3 : public QWidget
{
    Q_OBJECT
public:
    explicit Form3(AppContext &ctx);
    ~Form3() override;

    // The path of the latest single-path drop.
    QString dropPath;
    // The 1-based queue position of the task being performed.
    int runIndex = 0;

    // Performs the queue in order, then empties it. Returns when the run is
    // over; a second call while a run is going on does nothing, and a call
    // while another file operation runs is refused with the queue kept.
    void kp();
    bool isRunning() const { return m_running; }

    // Ends the program: every window closes in order, the candidate list is
    // emptied so its window can close, the panel goes last.
    void sys_exit();

    // Takes dropped paths in, as a drop on the face does.
    void takeDrop(const QStringList &paths);

    // What a double-click on the face does: shows or hides the main window.
    void toggleMainWindow();
    // What a right-click on the face does: the panel menu, at the pointer.
    void popUpMenu();

    // The one line of text on the face (the runner's percentage), or empty.
    QString faceText() const { return m_faceText; }
    void setFaceText(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // The ending steps of a run; the queue is emptied unless the run was
    // stopped with tasks it could not perform.
    void finishRun(bool emptyQueue);
    void setDragOver(bool over);

    AppContext &m_ctx;
    DropIntake *m_intake;
    QString m_faceText;
    bool m_running = false;
    // Files are being dragged over the face: it shows it will take them.
    bool m_dragOver = false;
    // Dragging by the face when the window manager does not move it for us.
    bool m_pressed = false;
    bool m_selfMoving = false;
    QPoint m_pressGlobal;
    QPoint m_pressWindowPos;
};
