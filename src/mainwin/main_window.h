#pragma once

#include "panel/panel_menu.h"

#include <QWidget>

class AppContext;
class DiskSpaceQueries;
class Form3;
class Form4;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QTreeView;

// The queue menu "队列操作", popped up over the queue list.
struct QueueMenu
{
    QMenu *menu = nullptr;
    QAction *newfile = nullptr;
    QAction *readd = nullptr;
    QMenu *rerunmode = nullptr;
    QAction *copy = nullptr;
    QAction *cut = nullptr;
    QAction *redele = nullptr;
    QAction *ADDMEMO = nullptr;
    QAction *main_strat = nullptr;
    QAction *main_push = nullptr;
    QAction *move = nullptr;
    QAction *allclear = nullptr;
    QAction *TRYUSE = nullptr;
};

// The main window "Korvan": the queue, the summary and free-space rows, the
// runner's progress, and both popup menus. Closing or minimising only hides
// it until the program ends.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(AppContext &ctx);
    ~Form1() override;

    // Controls, named as the rest of the program addresses them.
    QGroupBox *Frame3 = nullptr;
    QTreeView *ListView1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *Label1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QComboBox *Drive1 = nullptr;
    QTreeView *ListView2 = nullptr;
    QueueMenu use;
    // The panel menu; its entries are handled here.
    PanelMenu syswork;

    // Pops the queue menu up at the given global position.
    void rshow(const QPoint &globalPos);
    // Prepares and shows the add-task dialog.
    void form4show();
    // Shows the main window, or hides it when it is visible; a minimised
    // window comes back in the normal state.
    void toggleShown();

    // Queue menu handlers.
    void readd();
    void changeMode(const QString &mode);
    void main_strat();
    void main_push();
    void moveRow();
    void allclear();
    void ADDMEMO();
    void TRYUSE();
    // Selecting a row with the mouse.
    void ListView1_ItemClick(int row);

    // Panel menu handlers.
    void allstart();
    void allpush();
    void updatedisk();
    void setDefaultMode(const QString &mode);
    // Checks the mode mark of mode and unchecks the other two.
    void setDefaultModeMarks(const QString &mode);
    void st_mode();
    void verifyAfterCopy();
    void crtxt();
    void about();
    void closeProgram();

    // The drive chooser and its free-space rows. The chooser reads the
    // volumes again whenever it opens; the sizes are asked off the window's
    // thread through driveQueries.
    void fillDrives();
    void Drive1_Change();
    // Public so that tests can wait for the queries and set their time limit.
    DiskSpaceQueries *driveQueries = nullptr;

    // Sets the checked state of a menu mark (menus never toggle on their own).
    static void setMark(QAction *action, bool checked);

    // What other windows and the runner may ask of the main window.
    // Pops the panel menu up at the given global position.
    void popUpPanelMenu(const QPoint &globalPos);
    // The panel menu's "开启默认设置" mark.
    bool defaultsSwitchOn() const;
    void setDefaultsSwitch(bool on);
    // The "全部开始" marks of both menus.
    void setRunMarks(bool running);
    // The progress bar of a run of this many tasks, shown.
    void showRunProgress(int tasks);
    // The progress bar at task index.
    void setRunProgress(int index);
    // The caption of a run at task index with left tasks queued after it.
    void showRunCaption(int index, int left);
    void hideRunProgress();
    // The caption shown when no run is going on.
    void showBanner();
    // The one line saying how the latest run ended, above the progress bar.
    void showLastRun(const QString &line);

signals:
    // "全部开始" in either menu: the queue is to run.
    void runRequested();
    // "关闭": the program is to end.
    void exitRequested();
    // "新建任务...": the add-task dialog is to open, empty.
    void addTaskRequested();
    // "开启默认设置" switched: the add-task dialog's default box follows it.
    void defaultsSwitched(bool on);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    // The position of the last clicked row, or -1 (with the no-record
    // message shown) when the queue is empty or that row is gone.
    int currentRowOrMessage();
    void showNoRecord();

    AppContext &m_ctx;
    QString m_reportFileName;
    bool m_removingRows = false;
};
