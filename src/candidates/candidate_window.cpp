#include "candidates/candidate_window.h"

#include "app/app_context.h"
#include "candidates/candidate_texts.h"
#include "gui/accessibility.h"
#include "gui/panel_face.h"
#include "gui/widget_helpers.h"
#include "model/texts.h"
#include "platform/user_dialogs.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

namespace {

// The window's own icon: the panel's drop-target picture.
QIcon candidateIcon()
{
    QIcon icon;
    for (int side : {16, 32, 48}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        paintPanelFace(painter, pixmap.rect());
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QRadioButton *option(const QString &text, QWidget *parent, const QRect &geometry)
{
    auto *o = new QRadioButton(text, parent);
    o->setGeometry(geometry);
    return o;
}

QGroupBox *frame(const QString &title, QWidget *parent, const QRect &geometry)
{
    auto *f = new QGroupBox(title, parent);
    f->setGeometry(geometry);
    return f;
}

} // namespace

Form7::Form7(AppContext &ctx)
    : QWidget(nullptr,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                  | Qt::WindowCloseButtonHint)
    , m_ctx(ctx)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(CandidateTexts::Caption);
    setWindowIcon(candidateIcon());
    buildControls();
    buildMenu();
    resetToInitialState();
    // A client area of 7230 x 5325 twips.
    setFixedSize(482, 355);
}

void Form7::buildControls()
{
    using namespace CandidateTexts;
    // Positions are the design's twips divided by 15.
    TabStrip1 = new QTabWidget(this);
    TabStrip1->setGeometry(0, 0, 481, 257);
    TabStrip1->addTab(new QWidget, Tab);

    ListView1 = new QTreeView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(8, 24, 465, 217);
    // While rows go, the view moves its selection to a neighbour by itself;
    // that is no click. Connected before the view's own handlers run.
    connect(&m_ctx.candidates, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                m_removingRows = true;
                const auto goes = [first, last](int row) { return row >= first && row <= last; };
                m_selectionGoes = goes(ListView1->currentIndex().row()) || goes(selectedRow());
            });
    connect(&m_ctx.candidates, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_removingRows = true; });
    connect(&m_ctx.candidates, &QAbstractItemModel::rowsRemoved, this, [this] {
        m_removingRows = false;
        // The row the user had selected is gone: Qt has moved the highlight
        // to a neighbour nobody clicked, which the row entries would then act
        // on. As in the main window, no row is current or selected now.
        if (m_selectionGoes) {
            m_selectionGoes = false;
            ListView1->selectionModel()->clear();
        }
        closeEditorIfItsRowIsGone();
    });
    connect(&m_ctx.candidates, &QAbstractItemModel::modelReset, this, [this] {
        m_removingRows = false;
        closeEditorIfItsRowIsGone();
    });
    setUpReportView(ListView1, &m_ctx.candidates, {169, 169, 169, 169, 118, 522});
    ListView1->setAcceptDrops(true);
    ListView1->viewport()->setAcceptDrops(true);
    ListView1->viewport()->installEventFilter(this);
    connect(ListView1, &QAbstractItemView::pressed, this, [this](const QModelIndex &index) {
        // Right presses never get here: the filter below takes them.
        if (index.isValid())
            ListView1_ItemClick(index.row());
    });
    // A row selected with the keyboard counts as clicked, as in the main window.
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
        if (!m_removingRows && !rows.isEmpty())
            ListView1_ItemClick(rows.first().row());
    });

    Command3 = new QPushButton(SetAllDestinations, this);
    Command3->setGeometry(360, 0, 113, 17);

    Frame1 = frame(EditorIdle, this, QRect(0, 256, 329, 97));
    Frame2 = frame(DestinationFrame, Frame1, QRect(8, 16, 217, 41));
    Combo1 = new QComboBox(Frame2);
    Combo1->setGeometry(8, 16, 161, 20);
    Combo1->setEditable(true);
    // The list changes only by the window's own rules, never by typing.
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Command4 = new QPushButton(Browse, Frame2);
    Command4->setGeometry(176, 16, 33, 17);
    Frame3 = frame(RemarkFrame, Frame1, QRect(8, 48, 217, 41));
    Text2 = new QLineEdit(Frame3);
    Text2->setGeometry(8, 16, 201, 18);
    Frame5 = frame(ModeFrame, Frame1, QRect(224, 16, 97, 65));
    Option1 = option(Texts::ModeCopy, Frame5, QRect(16, 16, 57, 12));
    Option2 = option(Texts::ModeCut, Frame5, QRect(16, 32, 57, 12));
    Option3 = option(Texts::ModeDelete, Frame5, QRect(16, 48, 49, 12));
    Command5 = new QPushButton(Done, Frame1);
    // 12 pixels (180 twips) clip the caption in Qt's button frame; it grows
    // down to Frame1's bottom edge instead.
    Command5->setGeometry(280, 80, 41, 16);

    Frame4 = frame(UntickedFrame, this, QRect(328, 256, 153, 73));
    Option4 = option(UntickedRemove, Frame4, QRect(8, 16, 137, 12));
    Option5 = option(UntickedKeep, Frame4, QRect(8, 32, 137, 17));
    Option6 = option(UntickedAsk, Frame4, QRect(8, 48, 137, 17));

    Command2 = new QPushButton(Confirm, this);
    Command2->setGeometry(336, 336, 65, 17);
    Command1 = new QPushButton(Cancel, this);
    Command1->setGeometry(416, 336, 65, 17);

    // Names for screen readers where a control has no caption of its own.
    ListView1->setAccessibleName(QStringLiteral("候选列表"));
    Combo1->setAccessibleName(DestinationFrame);
    Text2->setAccessibleName(RemarkFrame);
    nameForAccessibility(this);

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(Option1, &QRadioButton::clicked, this, [this] { Option1_Click(); });
    connect(Option2, &QRadioButton::clicked, this, [this] { Option2_Click(); });
    connect(Option3, &QRadioButton::clicked, this, [this] { Option3_Click(); });
}

void Form7::resetToInitialState()
{
    closeEditor();
    Combo1->clear();
    Combo1->clearEditText();
    Text2->clear();
    clearModeOptions();
    Option6->setChecked(true);
    Command2->setEnabled(true);
    Command3->setEnabled(true);
    for (QAction *mark : {BLACKWORK.copy, BLACKWORK.cut, BLACKWORK.redele})
        mark->setChecked(false);
}

void Form7::closeEvent(QCloseEvent *event)
{
    if (!m_ctx.candidates.isEmpty()) {
        event->ignore();
        if (isVisible())
            showMinimized();
        return;
    }
    event->accept();
    // The next showing starts as a freshly made window would.
    resetToInitialState();
    m_centreOnShow = true;
}

void Form7::showEvent(QShowEvent *event)
{
    if (m_centreOnShow) {
        m_centreOnShow = false;
        // On the panel's screen, and clear of the panel that floats above it.
        placeCentredBeside(this, m_anchor);
    }
    QWidget::showEvent(event);
}

bool Form7::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ListView1->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (m_ctx.candidates.isEmpty() || me->button() == Qt::RightButton) {
            ListView1_MouseDown(me->button(), me->position().toPoint());
            return true;
        }
        return false;
    }
    case QEvent::MouseButtonDblClick: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() != Qt::LeftButton)
            return true;
        // Let the view toggle a check box or move the selection first.
        QTimer::singleShot(0, this, [this] { ListView1_DblClick(); });
        return false;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *de = static_cast<QDropEvent *>(event);
        if (droppedPaths(de->mimeData()).isEmpty()) {
            de->ignore();
        } else {
            de->setDropAction(Qt::CopyAction);
            de->accept();
        }
        return true;
    }
    case QEvent::Drop: {
        auto *de = static_cast<QDropEvent *>(event);
        const QStringList paths = droppedPaths(de->mimeData());
        if (paths.isEmpty()) {
            de->ignore();
            return true;
        }
        de->setDropAction(Qt::CopyAction);
        de->accept();
        // The drop's questions and yields run after the drag has finished,
        // so the file manager is not kept waiting on them.
        QTimer::singleShot(0, this, [this, paths] { dropPaths(paths); });
        return true;
    }
    default: return QWidget::eventFilter(watched, event);
    }
}

void Form7::showNoRecord()
{
    m_ctx.svc.dialogs->message(Texts::NoRecord, Texts::TitleKorvan);
}

QList<RowRef> Form7::snapshotRows() const
{
    const int n = m_ctx.candidates.count();
    QList<RowRef> refs;
    refs.reserve(n);
    for (int i = 0; i < n; ++i)
        refs << m_ctx.candidates.refAt(i);
    return refs;
}
