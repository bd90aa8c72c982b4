#pragma once

#include "model/move_task.h"

#include <QStringList>
#include <QWidget>

class AppContext;
class QAction;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeView;

// The candidate list's popup menu "候选操作".
struct CandidateMenu
{
    QMenu *menu = nullptr;
    QAction *rddisk = nullptr;
    QMenu *rdrunmode = nullptr;
    QAction *copy = nullptr;
    QAction *cut = nullptr;
    QAction *redele = nullptr;
    QAction *rememo = nullptr;
    QAction *f1 = nullptr;
    QAction *recls = nullptr;
    QAction *reclose = nullptr;
    QAction *f2 = nullptr;
    QAction *TRYUSE = nullptr;
};

// The candidate window "多移动候选选择": several dropped paths are reviewed,
// ticked and edited here before "确定" moves the ticked ones into the queue.
// It refuses to close (it minimises) while it holds candidates; an accepted
// close puts every control back to its initial state, so the next showing
// starts afresh.
class Form7 : public QWidget
{
    Q_OBJECT
public:
    explicit Form7(AppContext &ctx);
    // The window it opens beside, on the same screen (the panel).
    void setAnchor(const QWidget *anchor) { m_anchor = anchor; }

    QTabWidget *TabStrip1 = nullptr;
    QTreeView *ListView1 = nullptr;
    QPushButton *Command3 = nullptr; // "设置统一目地地址"
    QGroupBox *Frame1 = nullptr; // the row editor
    QGroupBox *Frame2 = nullptr;
    QComboBox *Combo1 = nullptr;
    QPushButton *Command4 = nullptr; // "..."
    QGroupBox *Frame3 = nullptr;
    QLineEdit *Text2 = nullptr;
    QGroupBox *Frame5 = nullptr;
    QRadioButton *Option1 = nullptr; // "复制"
    QRadioButton *Option2 = nullptr; // "剪贴"
    QRadioButton *Option3 = nullptr; // "删除"
    QPushButton *Command5 = nullptr; // "完成"
    QGroupBox *Frame4 = nullptr; // policy for unticked candidates
    QRadioButton *Option4 = nullptr; // remove without asking
    QRadioButton *Option5 = nullptr; // keep without asking
    QRadioButton *Option6 = nullptr; // ask for each
    QPushButton *Command2 = nullptr; // "确定"
    QPushButton *Command1 = nullptr; // "取消"
    CandidateMenu BLACKWORK;

    // "确定": checks that every ticked candidate has a destination, then moves
    // the ticked ones into the queue last row first and deals with the rest
    // by the Frame4 policy; closes (or minimises) the window at the end.
    void Command2_Click();
    // "取消": drops every candidate and closes the window.
    void Command1_Click();
    // "设置统一目地地址": gives every candidate the default destination.
    void Command3_Click();
    // "...": picks a directory for the candidate open in the row editor.
    void Command4_Click();
    // "完成": commits the row editor; on success empties Combo1.
    void Command5_Click();
    // The mode options write their word into the edited candidate at once.
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    // Commits the row editor into the edited candidate. False (nothing
    // changed, editor stays open) when the destination box is empty.
    bool nextpath();
    // Takes dropped paths in as ticked candidates, asking about duplicates;
    // a No ends the whole drop.
    void dropPaths(const QStringList &paths);

    // List mouse handling.
    void ListView1_ItemClick(int row);
    void ListView1_DblClick();
    // The pressed mouse button on the list: the no-record message on an
    // empty list, the popup for the right button (after selecting the row
    // under the pointer).
    void ListView1_MouseDown(Qt::MouseButton button, const QPoint &viewportPos);
    // Pops BLACKWORK up at a global position without waiting for it.
    void showMenu(const QPoint &globalPos);

    // Menu handlers.
    void rddisk();
    void changeMode(const QString &mode);
    void rememo();
    void recls();
    void reclose();
    void TRYUSE();

    // The list's selected row, or -1.
    int selectedRow() const;
    // The candidate open in the row editor, or -1 (idle, or the row is gone).
    int editedRow() const;

signals:
    // "确定" moved candidates into the queue: the main window is to show it.
    void tasksQueued();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenu();
    void resetToInitialState();
    // Opens the candidate at pos in the row editor; the destination box
    // only takes the candidate's destination when offerDestination is set.
    void openInEditor(int pos, bool offerDestination);
    void closeEditor();
    // Puts dest into Combo1's list (first place when that is free) and makes it the box's text.
    void offerToCombo(const QString &dest);
    void selectModeOption(const QString &mode);
    void clearModeOptions();
    // A removed candidate takes the row editor's work with it.
    void closeEditorIfItsRowIsGone();
    void writeEditedMode(const QString &mode);
    void setMarks(const QString &mode);
    // The candidate count; when zero the no-record message is shown.
    bool haveCandidatesOrMessage();
    void showNoRecord();
    // One row per candidate, taken once at the start of a loop.
    QList<RowRef> snapshotRows() const;

    AppContext &m_ctx;
    const QWidget *m_anchor = nullptr;
    bool m_centreOnShow = true;
    bool m_removingRows = false;
    // Rows about to go hold the current one.
    bool m_selectionGoes = false;
};
