// The main window "Korvan": its controls, the operations other windows and
// the runner ask of it, and its window events. The menus, the drive chooser
// and the report live in main_window_menus.cpp, main_window_drives.cpp and
// main_window_report.cpp.
#include "mainwin/main_window.h"

#include "app/app_context.h"
#include "gui/accessibility.h"
#include "gui/hinted_tree_view.h"
#include "gui/outcome_marks.h"
#include "gui/refreshing_combo_box.h"
#include "gui/widget_helpers.h"
#include "model/texts.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

namespace {

// The runner's caption.
const QString kDone = QStringLiteral("已考");
const QString kFiles = QStringLiteral("个文件");
const QString kLeft = QStringLiteral("还剩");

} // namespace

Form1::Form1(AppContext &ctx)
    : QWidget(nullptr,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                  | Qt::WindowCloseButtonHint)
    , m_ctx(ctx)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Texts::TitleKorvan);
    setFixedSize(495, 342);
    buildControls();
    buildMenus();
    setMark(syswork.upcopy, true);
    Label1->setText(Texts::Banner);
    fillDrives();

    // Centred on the screen when first shown.
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    Frame3 = new QGroupBox(Texts::QueueFrame, this);
    Frame3->setGeometry(8, 0, 321, 273);
    auto *queueView = new HintedTreeView(Frame3);
    // An empty queue says how tasks get in.
    queueView->setEmptyHint(Texts::EmptyQueueHint);
    ListView1 = queueView;
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(8, 16, 305, 249);
    // While rows go, the view moves its selection to a neighbour by itself;
    // that is no click. Connected before the view's own handlers run.
    connect(&m_ctx.queue, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { m_removingRows = true; });
    connect(&m_ctx.queue, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_removingRows = true; });
    connect(&m_ctx.queue, &QAbstractItemModel::rowsRemoved, this, [this] { m_removingRows = false; });
    connect(&m_ctx.queue, &QAbstractItemModel::modelReset, this, [this] { m_removingRows = false; });
    setUpReportView(ListView1, &m_ctx.queue, {96, 96, 96, 96, 67, 296});
    ListView1->setItemDelegate(new OutcomeMarkDelegate(MoveQueue::OutcomeRole, ListView1));
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

void Form1::setMark(QAction *action, bool checked)
{
    if (action)
        action->setChecked(checked);
}

void Form1::popUpPanelMenu(const QPoint &globalPos)
{
    syswork.menu->exec(globalPos);
}

bool Form1::defaultsSwitchOn() const
{
    return syswork.st_mode->isChecked();
}

void Form1::setDefaultsSwitch(bool on)
{
    setMark(syswork.st_mode, on);
}

void Form1::setRunMarks(bool running)
{
    setMark(syswork.allstart, running);
    setMark(use.main_strat, running);
}

void Form1::showRunProgress(int tasks)
{
    ProgressBar1->setRange(0, tasks);
    ProgressBar1->setVisible(true);
}

void Form1::setRunProgress(int index)
{
    ProgressBar1->setValue(index);
}

void Form1::showRunCaption(int index, int left)
{
    Label1->setText(kDone + QString::number(index) + kFiles + kLeft + QString::number(left) + kFiles);
}

void Form1::hideRunProgress()
{
    ProgressBar1->setVisible(false);
}

void Form1::showBanner()
{
    Label1->setText(Texts::Banner);
}

void Form1::showLastRun(const QString &line)
{
    Frame1->setTitle(escapeMnemonics(line));
    Frame1->setAccessibleDescription(line);
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
