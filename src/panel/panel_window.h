#pragma once

#include <QPoint>
#include <QWidget>

class AppContext;

// The floating panel: a tiny borderless window above all others that takes
// dropped files, runs the queue (kp) and ends the program (sys_exit).
// Its face can be dragged anywhere; a double-click toggles the main window
// and a right-click pops up the panel menu.
class Form3 : public QWidget
{
    Q_OBJECT
public:
    explicit Form3(AppContext &ctx);

    // The path of the latest single-path drop (kept public: the drop intake writes it).
    QString dropPath;

    // Performs the queue in order, then empties it (see QueueRunner::run).
    void kp();
    bool isRunning() const;

    // Ends the program: every window closes in order, the candidate list is
    // emptied so its window can close, the panel goes last.
    void sys_exit();
    // "关闭": while an operation runs or tasks are queued, asks first whether
    // to end the program; then sys_exit.
    void requestExit();

    // Takes dropped paths in, as a drop on the face does.
    void takeDrop(const QStringList &paths);

    // What a double-click on the face does: shows or hides the main window.
    void toggleMainWindow();
    // What a right-click on the face does: the panel menu, at the pointer.
    void popUpMenu();

    // The one line of text on the face (the runner's percentage), or empty.
    QString faceText() const { return m_faceText; }
    void setFaceText(const QString &text);
    // Shows how far the queue run is, in per cent, on the face.
    void showRunPercent(int percent);

signals:
    // A double-click on the face: the main window is to be shown or hidden.
    void mainWindowToggleRequested();
    // A right-click on the face: the panel menu is to pop up at globalPos.
    void panelMenuRequested(const QPoint &globalPos);
    // The program is ending: every other window is to close, in order.
    void otherWindowsClosing();
    // Paths were dropped on the face (or handed over as if): the drop
    // intake is to take them in. Emitted inside takeDrop's busy scope.
    void pathsTaken(const QStringList &paths);

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
    void setDragOver(bool over);

    AppContext &m_ctx;
    QString m_faceText;
    // Files are being dragged over the face: it shows it will take them.
    bool m_dragOver = false;
    // Dragging by the face when the window manager does not move it for us.
    bool m_pressed = false;
    bool m_selfMoving = false;
    QPoint m_pressGlobal;
    QPoint m_pressWindowPos;
};
