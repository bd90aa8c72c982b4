#include "dialogs/add_task_dialog.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "dialogs/add_task_texts.h"
#include "dialogs/directory_pickers.h"
#include "gui/mode_marks.h"
#include "gui/widget_helpers.h"
#include "model/duplicate_check.h"
#include "model/mode_operation.h"
#include "model/size_text.h"
#include "model/task_builder.h"
#include "model/texts.h"
#include "platform/file_operation.h"
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

Form4::Form4(AppContext &ctx)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_ctx(ctx)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(AddTaskTexts::Title);
    buildControls();

    // Creation: queue by default, and "复制" as the first default mode.
    Option2->setChecked(true);
    StartMode = AddTaskTexts::StartManual;
    m_ctx.m.setDefaultMode(Texts::ModeCopy);
    showDefaultMode();
    Check1->setChecked(m_ctx.m.useDefaults);
    connectHandlers();
}

void Form4::connectHandlers()
{
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            StartMode = AddTaskTexts::StartNow;
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            StartMode = AddTaskTexts::StartManual;
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
    // Every destination chosen in the picker, wherever it was opened, is
    // offered in the destination box.
    connect(&m_ctx.m.notifier, &Module1Notifier::defaultDestChosen, this, &Form4::offerDestination);
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
    setModeOptions({Option3, Option4, Option5}, m_ctx.m.defaultMode);
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

void Form4::offerDestination(const QString &dest)
{
    // Every choice is added, even one the list already holds.
    Combo1->addItem(dest);
    Combo1->setCurrentText(dest);
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
        placeCentredBeside(this, m_anchor);
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
    m_ctx.svc.dialogs->message(AddTaskTexts::NoDefaultDest, Texts::TitleKorvan);
    showForm5(m_ctx);
    // Unticking comes back here and clears useDefaults; the user ticks the
    // box again now that a destination may exist.
    Check1->setChecked(false);
}

void Form4::Command1_Click()
{
    const QString chosen = m_ctx.svc.dialogs->openFileName(AddTaskTexts::OpenTitle, QDir::homePath(),
                                                           AddTaskTexts::OpenFilter);
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
    if (const std::optional<QString> folder = showForm2(m_ctx))
        offerSource(*folder);
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
    if (StartMode == AddTaskTexts::StartNow) {
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
        m_ctx.svc.dialogs->message(AddTaskTexts::MissingForQueue, Texts::TitleKorvan);
        return;
    }
    appendRow();
    close();
}

void Form4::runNow()
{
    BusyScope busy(m_ctx);
    if (Text1->text().isEmpty() || Combo1->currentText().isEmpty()) {
        m_ctx.svc.dialogs->message(AddTaskTexts::MissingForNow, Texts::TitleKorvan);
        showForm5(m_ctx);
        return;
    }
    // One operation at a time: the queue's run and an earlier "立即" share
    // the engine and the record.
    if (m_ctx.fileOperationBusy()) {
        m_ctx.svc.dialogs->message(AddTaskTexts::EngineBusy, Texts::TitleKorvan);
        return;
    }
    const QString mode = m_ctx.m.defaultMode;
    if (!isModeWord(mode))
        return;
    // Performed as the queue's tasks are, with an account of its own.
    m_ctx.outcomes.begin();
    m_ctx.performer.perform(m_ctx.m.fileOp, Text1->text(), Combo1->currentText(), mode);
    close();
    if (!m_ctx.m.exitAllowed)
        m_ctx.outcomes.finish();
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
        m_ctx.svc.dialogs->message(AddTaskTexts::MissingForQueue, Texts::TitleKorvan);
        return;
    }
    addnew();
}

void Form4::addnew()
{
    appendRow();
    Text1->clear();
    Text3->clear();
    StartMode = AddTaskTexts::StartManual;
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
