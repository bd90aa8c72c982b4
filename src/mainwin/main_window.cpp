#include "mainwin/main_window.h"

#include "candidates/candidate_window.h"
#include "dialogs/about_box.h"
#include "dialogs/add_task_dialog.h"
#include "dialogs/directory_pickers.h"
#include "mainwin/app_context.h"
#include "model/texts.h"
#include "panel/panel_window.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/refreshing_combo_box.h"
#include "platform/qt/widget_helpers.h"
#include "platform/shell_open.h"
#include "platform/user_dialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

namespace {

// Queue menu and panel menu captions.
const QString kQueueMenu = QStringLiteral("队列操作");
const QString kPanelMenu = QStringLiteral("面板控制器");
const QString kNewTask = QStringLiteral("新建任务...");
const QString kChangeDest = QStringLiteral("修改目地地址");
const QString kChangeMode = QStringLiteral("修改移动方式");
const QString kAddRemark = QStringLiteral("添加备份..");
const QString kStartAll = QStringLiteral("全部开始");
const QString kPauseAll = QStringLiteral("全部暂停");
const QString kRemoveRow = QStringLiteral("移除当前记录？");
const QString kClearAll = QStringLiteral("全部清空？");
const QString kTryOut = QStringLiteral("试运行？");
const QString kToggleMain = QStringLiteral("(打开/关闭)主窗口");
const QString kSetDest = QStringLiteral("重新设置目地地址");
const QString kSetMode = QStringLiteral("重新设置运行方式");
const QString kUseDefaults = QStringLiteral("开启默认设置");
const QString kReport = QStringLiteral("生成报表");
const QString kAbout = QStringLiteral("关于...");
const QString kClose = QStringLiteral("关闭");
const QString kNoDefaultDest = QStringLiteral("没有默认的目地地址 请输入目地地址！");
const QString kNoDefaultMode = QStringLiteral("没有默认的移动方式 请输入移动方式！");
const QString kRemarkPrompt = QStringLiteral("请输入备注:");

} // namespace

Form1::Form1(AppContext &ctx)
    : QWidget(nullptr,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                  | Qt::WindowCloseButtonHint)
    , m_ctx(ctx)
{
    m_ctx.form1 = this;
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Texts::TitleKorvan);
    setFixedSize(495, 342);
    buildControls();
    buildMenus();

    // The panel first: it floats above every other window.
    m_panel = std::make_unique<Form3>(m_ctx);
    m_ctx.form3 = m_panel.get();
    // The add-task dialog, hidden; its creation gives defaultMode its first word.
    m_addTask = std::make_unique<Form4>(m_ctx);
    m_ctx.form4 = m_addTask.get();
    m_ctx.m.exitAllowed = false;
    setMark(syswork.upcopy, true);
    // The mode marks follow the default mode wherever it is changed.
    connect(&m_ctx.m.notifier, &Module1Notifier::defaultModeChanged, this,
            [this](const QString &mode) { showDefaultModeMarks(mode); });
    m_ctx.m.pauseFlag = false;
    Label1->setText(Texts::Banner);
    fillDrives();
    m_panel->show();

    // Centred on the screen when first shown.
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

Form1::~Form1()
{
    // The windows made here go first, while the context they use still stands.
    m_ctx.form3 = nullptr;
    m_ctx.form4 = nullptr;
    m_panel.reset();
    m_addTask.reset();
    m_ctx.form1 = nullptr;
}

void Form1::buildControls()
{
    Frame3 = new QGroupBox(Texts::QueueFrame, this);
    Frame3->setGeometry(8, 0, 321, 273);
    ListView1 = new QTreeView(Frame3);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(8, 16, 305, 249);
    // While rows go, the view moves its selection to a neighbour by itself;
    // that is no click. Connected before the view's own handlers run.
    connect(&m_ctx.queue, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { m_removingRows = true; });
    connect(&m_ctx.queue, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_removingRows = true; });
    connect(&m_ctx.queue, &QAbstractItemModel::rowsRemoved, this, [this] { m_removingRows = false; });
    connect(&m_ctx.queue, &QAbstractItemModel::modelReset, this, [this] { m_removingRows = false; });
    setUpReportView(ListView1, &m_ctx.queue, {96, 96, 96, 96, 67, 296});
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { rshow(ListView1->viewport()->mapToGlobal(pos)); });
    ListView1->viewport()->installEventFilter(this);
    connect(ListView1, &QAbstractItemView::pressed, this,
            [this](const QModelIndex &index) { ListView1_ItemClick(index.row()); });
    // A row selected with the keyboard counts as clicked; a row that is only
    // current (focus lands on the list) does not.
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
        if (!m_removingRows && !rows.isEmpty())
            ListView1_ItemClick(rows.first().row());
    });

    Frame1 = new QGroupBox(this);
    Frame1->setGeometry(8, 272, 321, 65);
    ProgressBar1 = new QProgressBar(Frame1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 16, 305, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    Label1 = new QLabel(Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 40, 305, 17);

    Frame2 = new QGroupBox(Texts::ReportFrame, this);
    Frame2->setGeometry(336, 0, 153, 337);
    Drive1 = new RefreshingComboBox(Frame2);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(8, 16, 137, 20);
    Drive1->setToolTip(Texts::DriveToolTip);
    ListView2 = new QTreeView(Frame2);
    ListView2->setObjectName(QStringLiteral("ListView2"));
    ListView2->setGeometry(8, 40, 137, 289);
    ListView2->setRootIsDecorated(false);
    ListView2->setUniformRowHeights(true);
    ListView2->setHeaderHidden(true);
    ListView2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView2->setModel(&m_ctx.summary);
    ListView2->header()->setStretchLastSection(false);
    ListView2->setColumnWidth(0, 296);

    setTabOrder(ListView1, ListView2);
    setTabOrder(ListView2, Drive1);

    // Names for screen readers where a control has no caption of its own.
    ListView1->setAccessibleName(QStringLiteral("要移动的文件队列"));
    ListView2->setAccessibleName(QStringLiteral("报告"));
    Drive1->setAccessibleName(QStringLiteral("驱动器"));
    Drive1->setAccessibleDescription(Texts::DriveToolTip);
    Frame1->setAccessibleName(QStringLiteral("进度"));
    ProgressBar1->setAccessibleName(QStringLiteral("进度"));
    nameForAccessibility(this);
}

void Form1::buildMenus()
{
    use.menu = new QMenu(kQueueMenu, this);
    use.newfile = addPlainAction(use.menu, kNewTask, [this] { form4show(); });
    use.menu->addSeparator();
    use.readd = addPlainAction(use.menu, kChangeDest, [this] { readd(); });
    use.rerunmode = use.menu->addMenu(kChangeMode);
    use.copy = addMarkAction(use.rerunmode, Texts::ModeCopy, [this] { changeMode(Texts::ModeCopy); });
    use.cut = addMarkAction(use.rerunmode, Texts::ModeCut, [this] { changeMode(Texts::ModeCut); });
    use.redele = addMarkAction(use.rerunmode, Texts::ModeDelete, [this] { changeMode(Texts::ModeDelete); });
    use.ADDMEMO = addPlainAction(use.menu, kAddRemark, [this] { ADDMEMO(); });
    use.menu->addSeparator();
    use.main_strat = addMarkAction(use.menu, kStartAll, [this] { main_strat(); });
    use.main_push = addPlainAction(use.menu, kPauseAll, [this] { main_push(); });
    use.menu->addSeparator();
    use.move = addPlainAction(use.menu, kRemoveRow, [this] { moveRow(); });
    use.allclear = addPlainAction(use.menu, kClearAll, [this] { allclear(); });
    use.menu->addSeparator();
    use.TRYUSE = addPlainAction(use.menu, kTryOut, [this] { TRYUSE(); });

    syswork.menu = new QMenu(kPanelMenu, this);
    syswork.ocmain = addPlainAction(syswork.menu, kToggleMain, [this] { toggleShown(); });
    syswork.menu->addSeparator();
    syswork.allstart = addMarkAction(syswork.menu, kStartAll, [this] { allstart(); });
    syswork.allpush = addPlainAction(syswork.menu, kPauseAll, [this] { allpush(); });
    syswork.menu->addSeparator();
    syswork.updatedisk = addPlainAction(syswork.menu, kSetDest, [this] { updatedisk(); });
    syswork.updaterunmode = syswork.menu->addMenu(kSetMode);
    syswork.upcopy = addMarkAction(syswork.updaterunmode, Texts::ModeCopy, [this] { setDefaultMode(Texts::ModeCopy); });
    syswork.upcut = addMarkAction(syswork.updaterunmode, Texts::ModeCut, [this] { setDefaultMode(Texts::ModeCut); });
    syswork.updele = addMarkAction(syswork.updaterunmode, Texts::ModeDelete,
                                   [this] { setDefaultMode(Texts::ModeDelete); });
    syswork.st_mode = addMarkAction(syswork.menu, kUseDefaults, [this] { st_mode(); });
    syswork.menu->addSeparator();
    syswork.crnew = addPlainAction(syswork.menu, kNewTask, [this] { form4show(); });
    syswork.crtxt = addPlainAction(syswork.menu, kReport, [this] { crtxt(); });
    syswork.menu->addSeparator();
    syswork.about = addPlainAction(syswork.menu, kAbout, [this] { about(); });
    syswork.menu->addSeparator();
    syswork.close = addPlainAction(syswork.menu, kClose, [this] { closeProgram(); });
}

void Form1::setMark(QAction *action, bool checked)
{
    if (action)
        action->setChecked(checked);
}

void Form1::showNoRecord()
{
    m_ctx.svc.dialogs->message(Texts::NoRecord, Texts::TitleKorvan);
}

int Form1::currentRowOrMessage()
{
    const int pos = m_ctx.queue.positionOf(m_ctx.m.currentRow);
    if (m_ctx.queue.isEmpty() || pos < 0) {
        showNoRecord();
        return -1;
    }
    return pos;
}

void Form1::rshow(const QPoint &globalPos)
{
    use.menu->exec(globalPos);
}

void Form1::form4show()
{
    Form4 *f = m_ctx.form4;
    f->Text1->clear();
    f->Text3->clear();
    f->showDefaultMode();
    f->bringToFront();
}

void Form1::toggleShown()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    if (isVisible()) {
        hide();
    } else {
        show();
        raise();
        activateWindow();
    }
}

void Form1::ListView1_ItemClick(int row)
{
    if (m_ctx.queue.isEmpty() || row < 0 || row >= m_ctx.queue.count())
        return;
    m_ctx.m.currentRow = m_ctx.queue.refAt(row);
    const QString mode = m_ctx.queue.task(row).mode;
    if (mode == Texts::ModeCopy || mode == Texts::ModeCut || mode == Texts::ModeDelete) {
        setMark(use.copy, mode == Texts::ModeCopy);
        setMark(use.cut, mode == Texts::ModeCut);
        setMark(use.redele, mode == Texts::ModeDelete);
    }
}

void Form1::readd()
{
    const RowRef ref = m_ctx.m.currentRow;
    if (currentRowOrMessage() < 0)
        return;
    BusyScope busy(m_ctx);
    showForm5(m_ctx);
    // The picker ran its own loop: the row may have gone meanwhile.
    const int pos = m_ctx.queue.positionOf(ref);
    if (pos >= 0)
        m_ctx.queue.setDestination(pos, m_ctx.m.defaultDest);
}

void Form1::changeMode(const QString &mode)
{
    const int pos = currentRowOrMessage();
    if (pos < 0)
        return;
    m_ctx.queue.pd_run_mode(pos);
    setMark(use.copy, mode == Texts::ModeCopy);
    setMark(use.cut, mode == Texts::ModeCut);
    setMark(use.redele, mode == Texts::ModeDelete);
    m_ctx.queue.setMode(pos, mode);
    m_ctx.queue.pd2over_run_mode(pos);
}

void Form1::main_strat()
{
    setMark(syswork.allstart, true);
    setMark(use.main_strat, true);
    m_ctx.form3->kp();
}

void Form1::main_push()
{
    setMark(use.main_strat, false);
    setMark(syswork.allstart, false);
    m_ctx.m.pauseFlag = true;
}

void Form1::moveRow()
{
    const int pos = currentRowOrMessage();
    if (pos < 0)
        return;
    m_ctx.queue.removeTask(pos);
    // The list moved its highlight to a neighbour, which nobody clicked: the
    // removed row was the current one, so no row is current now, and none is
    // shown as such.
    m_ctx.m.currentRow = NoRow;
    ListView1->selectionModel()->clear();
}

void Form1::allclear()
{
    m_ctx.queue.clearQueue();
}

void Form1::ADDMEMO()
{
    const RowRef ref = m_ctx.m.currentRow;
    if (currentRowOrMessage() < 0)
        return;
    BusyScope busy(m_ctx);
    const QString remark = m_ctx.svc.dialogs->inputBox(kRemarkPrompt, Texts::TitleKorvan, QString());
    const int pos = m_ctx.queue.positionOf(ref);
    if (pos >= 0)
        m_ctx.queue.setRemark(pos, remark);
}

void Form1::TRYUSE()
{
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    if (m_ctx.queue.isEmpty() || selected.isEmpty() || selected.first().row() >= m_ctx.queue.count()) {
        showNoRecord();
        return;
    }
    m_ctx.svc.shell->openPath(m_ctx.queue.task(selected.first().row()).sourcePath);
}

void Form1::allstart()
{
    setMark(use.main_strat, true);
    m_ctx.form3->kp();
}

void Form1::allpush()
{
    setMark(use.main_strat, false);
    setMark(syswork.allstart, false);
    m_ctx.m.pauseFlag = true;
}

void Form1::updatedisk()
{
    showForm5(m_ctx);
}

void Form1::setDefaultMode(const QString &mode)
{
    showDefaultModeMarks(mode);
    m_ctx.m.setDefaultMode(mode);
}

void Form1::showDefaultModeMarks(const QString &mode)
{
    setMark(syswork.upcopy, mode == Texts::ModeCopy);
    setMark(syswork.upcut, mode == Texts::ModeCut);
    setMark(syswork.updele, mode == Texts::ModeDelete);
}

void Form1::st_mode()
{
    if (m_ctx.m.defaultDest.isEmpty()) {
        m_ctx.svc.dialogs->message(kNoDefaultDest, Texts::TitleKorvan);
        return;
    }
    if (m_ctx.m.defaultMode.isEmpty()) {
        m_ctx.svc.dialogs->message(kNoDefaultMode, Texts::TitleKorvan);
        return;
    }
    setMark(syswork.st_mode, !syswork.st_mode->isChecked());
    // One switch, two faces: the add-task dialog's default box follows the
    // mark, so switching the defaults off here ends them wherever they came from.
    if (Form4 *dialog = m_ctx.form4)
        dialog->Check1->setChecked(syswork.st_mode->isChecked());
}

void Form1::about()
{
    showForm6(m_ctx);
}

void Form1::closeProgram()
{
    m_ctx.form3->sys_exit();
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (!m_ctx.m.exitAllowed) {
        event->ignore();
        hide();
        return;
    }
    event->accept();
}

void Form1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A minimised main window leaves the task bar: it is hidden, and the
    // panel brings it back.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        auto *me = static_cast<QMouseEvent *>(event);
        rshow(me->globalPosition().toPoint());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
