#include "dialogs/add_task_dialog.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "dialogs/directory_pickers.h"
#include "model/duplicate_check.h"
#include "model/mode_operation.h"
#include "model/size_text.h"
#include "model/task_builder.h"
#include "model/texts.h"
#include "platform/file_operation.h"
#include "platform/qt/widget_helpers.h"
#include "platform/user_dialogs.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const QString kTitle = QStringLiteral("添加新任务");
const QString kTab = QStringLiteral("新任务");
const QString kSourceFrame = QStringLiteral("原地址：");
const QString kNameLabel = QStringLiteral("文件名：");
const QString kDestFrame = QStringLiteral("目地地址：");
const QString kStartFrame = QStringLiteral("开始...");
const QString kModeFrame = QStringLiteral("移动方式：");
const QString kRemarkFrame = QStringLiteral("备注：");
const QString kBrowse = QStringLiteral("...");
const QString kStartManual = QStringLiteral("手动");
const QString kStartNow = QStringLiteral("立即");
const QString kUseAsDefault = QStringLiteral("使用本次设置成为默认设置 以后不再提问！");
const QString kAddDirectory = QStringLiteral("添加要移动目录");
const QString kOk = QStringLiteral("确定");
const QString kNext = QStringLiteral("下一个");
const QString kCancel = QStringLiteral("取消");
const QString kOpenTitle = QStringLiteral("Korvan--请你选择...");
const QString kOpenFilter = QStringLiteral(
    "所有文件(*.*)|*.*|文本文件(*.txt)|*.txt|程序文件(*.exe)|*.exe|音乐文件(*.mp3;*.m3u;*.wav)|*.mp3;*.m3u;*.wav");
const QString kNoDefaultDest = QStringLiteral("没有设置目地地址，请设置！！");
const QString kMissingForQueue = QStringLiteral("没有输入原文件地地或目地地址 请确认！");
const QString kMissingForNow = QStringLiteral("没有准确的目地地址");
const QString kEngineBusy = QStringLiteral("正在执行其他文件操作，请等它完成后再立即执行！");

QPushButton *browseButton(QWidget *parent)
{
    auto *b = new QPushButton(kBrowse, parent);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(kBrowse) + 24);
    return b;
}

void uncheck(QRadioButton *option)
{
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

} // namespace

Form4::Form4(AppContext &ctx)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_ctx(ctx)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(kTitle);
    buildControls();

    // Creation: queue by default, and "复制" as the first default mode.
    Option2->setChecked(true);
    StartMode = kStartManual;
    m_ctx.m.setDefaultMode(Texts::ModeCopy);
    showDefaultMode();
    Check1->setChecked(m_ctx.m.useDefaults);
    connectHandlers();
}

void Form4::buildControls()
{
    auto *outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    auto *page = new QWidget(TabStrip1);
    TabStrip1->addTab(page, kTab);
    outer->addWidget(TabStrip1);
    auto *pageLayout = new QVBoxLayout(page);

    Frame1 = new QGroupBox(kSourceFrame, page);
    auto *sourceGrid = new QGridLayout(Frame1);
    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setMinimumWidth(340);
    Command1 = browseButton(Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));
    Label1 = new QLabel(kNameLabel, Frame1);
    Text3 = new QLineEdit(Frame1);
    Text3->setObjectName(QStringLiteral("Text3"));
    Label1->setBuddy(Text3);
    sourceGrid->addWidget(Text1, 0, 0, 1, 2);
    sourceGrid->addWidget(Command1, 0, 2);
    sourceGrid->addWidget(Label1, 1, 0);
    sourceGrid->addWidget(Text3, 1, 1, 1, 2);
    sourceGrid->setColumnStretch(1, 1);
    pageLayout->addWidget(Frame1);

    Frame2 = new QGroupBox(kDestFrame, page);
    auto *destRow = new QHBoxLayout(Frame2);
    Combo1 = new QComboBox(Frame2);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    // The list holds the picker's choices only; typed text is read as it is.
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Command2 = browseButton(Frame2);
    Command2->setObjectName(QStringLiteral("Command2"));
    destRow->addWidget(Combo1, 1);
    destRow->addWidget(Command2);
    pageLayout->addWidget(Frame2);

    auto *choices = new QHBoxLayout;
    Frame3 = new QGroupBox(kStartFrame, page);
    auto *startRow = new QHBoxLayout(Frame3);
    Option2 = new QRadioButton(kStartManual, Frame3);
    Option1 = new QRadioButton(kStartNow, Frame3);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option1->setObjectName(QStringLiteral("Option1"));
    startRow->addWidget(Option2);
    startRow->addWidget(Option1);
    Frame4 = new QGroupBox(kModeFrame, page);
    auto *modeRow = new QHBoxLayout(Frame4);
    Option5 = new QRadioButton(Texts::ModeDelete, Frame4);
    Option4 = new QRadioButton(Texts::ModeCut, Frame4);
    Option3 = new QRadioButton(Texts::ModeCopy, Frame4);
    Option5->setObjectName(QStringLiteral("Option5"));
    Option4->setObjectName(QStringLiteral("Option4"));
    Option3->setObjectName(QStringLiteral("Option3"));
    modeRow->addWidget(Option5);
    modeRow->addWidget(Option4);
    modeRow->addWidget(Option3);
    choices->addWidget(Frame3);
    choices->addWidget(Frame4, 1);
    pageLayout->addLayout(choices);

    Frame5 = new QGroupBox(kRemarkFrame, page);
    auto *remarkRow = new QHBoxLayout(Frame5);
    Text4 = new QLineEdit(Frame5);
    Text4->setObjectName(QStringLiteral("Text4"));
    remarkRow->addWidget(Text4);
    pageLayout->addWidget(Frame5);

    Check1 = new QCheckBox(kUseAsDefault, page);
    Check1->setObjectName(QStringLiteral("Check1"));
    pageLayout->addWidget(Check1);

    auto *buttons = new QHBoxLayout;
    Command3 = new QPushButton(kAddDirectory, page);
    Command5 = new QPushButton(kOk, page);
    Command6 = new QPushButton(kNext, page);
    Command4 = new QPushButton(kCancel, page);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command5->setObjectName(QStringLiteral("Command5"));
    Command6->setObjectName(QStringLiteral("Command6"));
    Command4->setObjectName(QStringLiteral("Command4"));
    buttons->addWidget(Command3);
    buttons->addStretch(1);
    buttons->addWidget(Command5);
    buttons->addWidget(Command6);
    buttons->addWidget(Command4);
    pageLayout->addLayout(buttons);

    // Screen readers name the boxes by the captions the user sees.
    Text1->setAccessibleName(kSourceFrame);
    Text3->setAccessibleName(kNameLabel);
    Combo1->setAccessibleName(kDestFrame);
    Combo1->lineEdit()->setAccessibleName(kDestFrame);
    Text4->setAccessibleName(kRemarkFrame);

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Text3);
    setTabOrder(Text3, Combo1);
    setTabOrder(Combo1, Command2);
    setTabOrder(Command2, Option2);
    setTabOrder(Option2, Option5);
    setTabOrder(Option5, Text4);
    setTabOrder(Text4, Check1);
    setTabOrder(Check1, Command3);
    setTabOrder(Command3, Command5);
    setTabOrder(Command5, Command6);
    setTabOrder(Command6, Command4);
}

void Form4::connectHandlers()
{
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            StartMode = kStartNow;
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            StartMode = kStartManual;
    });
    // Clicks, not toggles: a click on the option already checked still
    // makes its word the default mode.
    const std::pair<QRadioButton *, QString> modes[] = {
        {Option3, Texts::ModeCopy}, {Option4, Texts::ModeCut}, {Option5, Texts::ModeDelete}};
    for (const auto &[option, word] : modes)
        connect(option, &QRadioButton::clicked, this, [this, word = word] { m_ctx.m.setDefaultMode(word); });
    // The options always show the word a commit will take, also when the
    // panel menu changes it while the dialog is open.
    connect(&m_ctx.m.notifier, &Module1Notifier::defaultModeChanged, this, [this] { showDefaultMode(); });
    connect(Check1, &QCheckBox::toggled, this, [this] { Check1_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
}

void Form4::showDefaultMode()
{
    const QString mode = m_ctx.m.defaultMode;
    if (mode == Texts::ModeCopy)
        Option3->setChecked(true);
    else if (mode == Texts::ModeCut)
        Option4->setChecked(true);
    else if (mode == Texts::ModeDelete)
        Option5->setChecked(true);
    else
        for (QRadioButton *o : {Option3, Option4, Option5})
            uncheck(o);
}

void Form4::openEmpty()
{
    Text1->clear();
    Text3->clear();
    showDefaultMode();
    bringToFront();
}

void Form4::offerSource(const QString &path)
{
    Text1->setText(path);
    Text3->setText(pathName(path));
}

QString Form4::heldSource() const
{
    return Text1->text();
}

QString Form4::heldName() const
{
    return Text3->text();
}

QString Form4::heldDestination() const
{
    return Combo1->currentText();
}

bool Form4::defaultsBoxTicked() const
{
    return Check1->isChecked();
}

void Form4::setDefaultsBoxTicked(bool ticked)
{
    Check1->setChecked(ticked);
}

void Form4::bringToFront()
{
    if (isHidden())
        show();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    focusFirstEmptyField();
}

void Form4::focusFirstEmptyField()
{
    const std::pair<QWidget *, QString> fields[] = {
        {Text1, Text1->text()}, {Text3, Text3->text()}, {Combo1, Combo1->currentText()}, {Text4, Text4->text()}};
    for (const auto &[field, text] : fields) {
        if (text.isEmpty()) {
            field->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    Command5->setFocus(Qt::OtherFocusReason);
}

void Form4::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        showDefaultMode();
        // On the panel's screen, and clear of the panel that floats above it.
        placeCentredBeside(this, m_ctx.panel());
        focusFirstEmptyField();
    }
    QWidget::showEvent(event);
}

void Form4::Check1_Click()
{
    // The panel menu's "开启默认设置" shows what the box puts in force, and
    // switching it off there unticks the box.
    const auto showOnPanelMenu = qScopeGuard([this] { emit defaultsBoxToggled(Check1->isChecked()); });
    if (!Check1->isChecked()) {
        m_ctx.m.useDefaults = false;
        return;
    }
    if (!m_ctx.m.defaultDest.isEmpty()) {
        m_ctx.m.useDefaults = true;
        return;
    }
    BusyScope busy(m_ctx);
    m_ctx.svc.dialogs->message(kNoDefaultDest, Texts::TitleKorvan);
    showForm5(m_ctx);
    // Unticking comes back here and clears useDefaults; the user ticks the
    // box again now that a destination may exist.
    Check1->setChecked(false);
}

void Form4::Command1_Click()
{
    const QString chosen = m_ctx.svc.dialogs->openFileName(kOpenTitle, QDir::homePath(), kOpenFilter);
    // A cancelled choice leaves the source that is there (a dropped path,
    // say) as it was.
    if (chosen.isEmpty())
        return;
    Text1->setText(chosen);
    Text3->setText(pathName(chosen));
}

void Form4::Command2_Click()
{
    showForm5(m_ctx);
}

void Form4::Command3_Click()
{
    showForm2(m_ctx);
}

void Form4::Command4_Click()
{
    close();
}

bool Form4::passesDuplicateCheck(bool *declined)
{
    *declined = false;
    const QString path = Text1->text();
    const bool wasVisible = isVisible();
    const DuplicateOutcome outcome = checkQueueDuplicate(m_ctx.queue, path, *m_ctx.svc.dialogs, *m_ctx.svc.yield);
    if (m_ctx.m.exitAllowed)
        return false;
    // While the question was open, a drop may have handed this path to the
    // candidate window (closing the dialog) or put another path here.
    if (Text1->text() != path || (wasVisible && !isVisible()))
        return false;
    if (outcome == DuplicateOutcome::Declined) {
        *declined = true;
        return false;
    }
    return true;
}

void Form4::Command5_Click()
{
    if (StartMode == kStartNow) {
        runNow();
        return;
    }
    BusyScope busy(m_ctx);
    bool declined = false;
    if (!passesDuplicateCheck(&declined)) {
        if (declined)
            close();
        return;
    }
    if (Text1->text().isEmpty() || Combo1->currentText().isEmpty()) {
        m_ctx.svc.dialogs->message(kMissingForQueue, Texts::TitleKorvan);
        return;
    }
    appendRow();
    close();
}

void Form4::runNow()
{
    BusyScope busy(m_ctx);
    if (Text1->text().isEmpty() || Combo1->currentText().isEmpty()) {
        m_ctx.svc.dialogs->message(kMissingForNow, Texts::TitleKorvan);
        showForm5(m_ctx);
        return;
    }
    // One operation at a time: the queue's run and an earlier "立即" share
    // the engine and the record.
    FileOperation &engine = *m_ctx.svc.engine;
    if (engine.isRunning() || m_ctx.queueRunning()) {
        m_ctx.svc.dialogs->message(kEngineBusy, Texts::TitleKorvan);
        return;
    }
    FileOpRecord &op = m_ctx.m.fileOp;
    const QString mode = m_ctx.m.defaultMode;
    if (!setOperationForMode(op, mode, Combo1->currentText()))
        return;
    op.pFrom = Text1->text();
    // A copy: the record must not change under the running operation.
    const FileOpRecord running = op;
    engine.perform(running);
    close();
}

void Form4::Command6_Click()
{
    BusyScope busy(m_ctx);
    bool declined = false;
    if (!passesDuplicateCheck(&declined)) {
        if (declined) {
            Text1->clear();
            Text3->clear();
        }
        return;
    }
    if (Text1->text().isEmpty() || Combo1->currentText().isEmpty()) {
        m_ctx.svc.dialogs->message(kMissingForQueue, Texts::TitleKorvan);
        return;
    }
    addnew();
}

void Form4::addnew()
{
    appendRow();
    Text1->clear();
    Text3->clear();
    StartMode = kStartManual;
    Option2->setChecked(true);
}

void Form4::appendRow()
{
    MoveTask task;
    task.name = Text3->text();
    task.sizeK = sizeTextFor(*m_ctx.svc.files, Text1->text());
    task.sourcePath = Text1->text();
    task.destination = Combo1->currentText();
    task.mode = m_ctx.m.defaultMode;
    task.remark = Text4->text();
    m_ctx.queue.appendTask(task);
    emit taskAppended(task.mode);
}

void Form4::closeEvent(QCloseEvent *event)
{
    if (!m_ctx.m.exitAllowed) {
        event->ignore();
        hide();
        return;
    }
    event->accept();
}
