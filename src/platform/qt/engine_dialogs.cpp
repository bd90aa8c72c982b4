#include "platform/qt/engine_dialogs.h"

#include "gui/widget_helpers.h"
#include "platform/engine/engine_texts.h"
#include "platform/engine/fs_util.h"
#include "platform/qt/engine_preflight_dialog.h"
#include "platform/qt/qt_user_dialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString describeSide(const ConflictSide &side)
{
    const QString size = side.size >= 0 ? FsUtil::formatSize(side.size) : EngineTexts::NoFigure;
    const QString date = side.modified.isValid()
        ? QLocale(QLocale::Chinese, QLocale::China).toString(side.modified, QStringLiteral("yyyy-MM-dd HH:mm:ss"))
        : EngineTexts::NoFigure;
    return EngineTexts::ConflictSide.arg(side.path, size, date);
}

QLabel *wrappingLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The dialog's layout, which also fixes its size: a resizable window gets
// a window manager's grip along its bottom edge (a double line under
// openbox), and nothing here gains from a larger window.
QVBoxLayout *fixedLayout(QDialog *dialog)
{
    auto *layout = new QVBoxLayout(dialog);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return layout;
}

} // namespace

QString formatSpeed(double bytesPerSecond)
{
    if (bytesPerSecond <= 0)
        return EngineTexts::NoFigure;
    return FsUtil::formatSize(qint64(bytesPerSecond)) + EngineTexts::PerSecond;
}

QString formatDuration(qint64 seconds)
{
    if (seconds < 0)
        return EngineTexts::NoFigure;
    if (seconds < 60)
        return EngineTexts::AboutSeconds.arg(seconds);
    if (seconds < 3600)
        return EngineTexts::AboutMinutes.arg(seconds / 60).arg(seconds % 60);
    return EngineTexts::AboutHours.arg(seconds / 3600).arg((seconds % 3600) / 60);
}

EngineProgressDialog::EngineProgressDialog(QWidget *parent)
    : QDialog(parent)
    , m_currentLabel(new QLabel(this))
    , m_countLabel(new QLabel(this))
    , m_speedLabel(new QLabel(this))
    , m_bar(new QProgressBar(this))
    , m_cancelButton(new QPushButton(EngineTexts::ButtonCancel, this))
{
    setWindowTitle(EngineTexts::ProgressTitle);
    setModal(false);
    m_currentLabel->setObjectName(QStringLiteral("currentLabel"));
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    m_speedLabel->setObjectName(QStringLiteral("speedLabel"));
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_currentLabel->setTextFormat(Qt::PlainText);
    m_currentLabel->setMinimumWidth(420);
    m_bar->setRange(0, 1000);
    m_bar->setValue(0);

    auto *layout = fixedLayout(this);
    layout->addWidget(m_currentLabel);
    layout->addWidget(m_bar);
    layout->addWidget(m_countLabel);
    layout->addWidget(m_speedLabel);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancelButton);
    layout->addLayout(buttons);

    connect(m_cancelButton, &QPushButton::clicked, this, &EngineProgressDialog::reject);
}

void EngineProgressDialog::setOperationTitle(const QString &title)
{
    setWindowTitle(title);
}

void EngineProgressDialog::setCurrentPath(const QString &path)
{
    // Elide in the middle so that both the folder and the name stay readable.
    const QFontMetrics metrics(m_currentLabel->font());
    const int width = std::max(m_currentLabel->width(), m_currentLabel->minimumWidth());
    m_currentLabel->setText(metrics.elidedText(path, Qt::ElideMiddle, width));
    m_currentLabel->setToolTip(plainToolTip(path));
}

void EngineProgressDialog::updateProgress(const FileOpProgress &progress)
{
    setCurrentPath(progress.currentPath);

    const qint64 filesTotal = std::max(progress.filesTotal, progress.filesDone);
    const qint64 bytesTotal = std::max(progress.bytesTotal, progress.bytesDone);
    // While the totals grow they are shown as counted so far, and nothing
    // derived from them (share done, time left) is shown at all.
    const QString &count = progress.counting ? EngineTexts::ProgressCountGrowing : EngineTexts::ProgressCount;
    m_countLabel->setText(count.arg(progress.filesDone)
                              .arg(filesTotal)
                              .arg(FsUtil::formatSize(progress.bytesDone), FsUtil::formatSize(bytesTotal)));
    const double seconds = progress.elapsedMs / 1000.0;
    const double speed = seconds > 0 ? progress.bytesDone / seconds : 0;
    const qint64 left = speed > 0 && !progress.counting ? qint64((bytesTotal - progress.bytesDone) / speed + 0.5) : -1;
    // Everything is written; what is left is the device's: no speed to show.
    if (progress.storing)
        m_speedLabel->setText(EngineTexts::ProgressStoring);
    else if (progress.verifying)
        m_speedLabel->setText(EngineTexts::ProgressVerifying.arg(FsUtil::formatSize(progress.bytesVerified),
                                                                 FsUtil::formatSize(bytesTotal)));
    else
        m_speedLabel->setText(EngineTexts::ProgressSpeed.arg(formatSpeed(speed), formatDuration(left)));
    if (progress.counting) {
        m_bar->setRange(0, 0); // busy: no share is known yet
        return;
    }
    m_bar->setRange(0, 1000);
    if (bytesTotal > 0)
        m_bar->setValue(int(progress.bytesDone * 1000 / bytesTotal));
    else if (filesTotal > 0)
        m_bar->setValue(int(progress.filesDone * 1000 / filesTotal));
}

void EngineProgressDialog::reject()
{
    // The window stays until the operation has stopped and removed its partial file.
    m_cancelButton->setEnabled(false);
    m_cancelButton->setText(EngineTexts::Cancelling);
    emit cancelRequested();
}

namespace {

// A button that records its answer, then closes the dialog.
template<typename Record>
QPushButton *addAnswerButton(QDialog *dialog, QDialogButtonBox *buttons, const QString &text, const QString &objectName,
                             Record record)
{
    auto *button = buttons->addButton(text, QDialogButtonBox::ActionRole);
    button->setObjectName(objectName);
    QObject::connect(button, &QPushButton::clicked, dialog, [dialog, record] {
        record();
        dialog->accept();
    });
    return button;
}

} // namespace

EngineConflictDialog::EngineConflictDialog(const OverwriteQuestion &question, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(EngineTexts::ConflictTitle);
    auto *layout = fixedLayout(this);
    const QString name = question.target.path.section(QLatin1Char('/'), -1);
    layout->addWidget(wrappingLabel(EngineTexts::ConflictExisting.arg(name), this));
    layout->addWidget(wrappingLabel(EngineTexts::ConflictWithThis, this));
    auto *sourceLabel = wrappingLabel(describeSide(question.source), this);
    sourceLabel->setObjectName(QStringLiteral("sourceLabel"));
    layout->addWidget(sourceLabel);
    layout->addWidget(wrappingLabel(EngineTexts::ConflictReplaceThat, this));
    auto *targetLabel = wrappingLabel(describeSide(question.target), this);
    targetLabel->setObjectName(QStringLiteral("targetLabel"));
    layout->addWidget(targetLabel);

    auto *buttons = new QDialogButtonBox(this);
    const auto addButton = [&](const QString &text, const QString &objectName, OverwriteAnswer answer) {
        return addAnswerButton(this, buttons, text, objectName, [this, answer] { m_answer = answer; });
    };
    addButton(EngineTexts::ButtonOverwrite, QStringLiteral("overwriteButton"), OverwriteAnswer::Overwrite)
        ->setDefault(true);
    addButton(EngineTexts::ButtonOverwriteAll, QStringLiteral("overwriteAllButton"), OverwriteAnswer::OverwriteAll);
    addButton(EngineTexts::ButtonSkip, QStringLiteral("skipButton"), OverwriteAnswer::Skip);
    addButton(EngineTexts::ButtonCancel, QStringLiteral("cancelButton"), OverwriteAnswer::Cancel);
    layout->addWidget(buttons);
}

EngineErrorDialog::EngineErrorDialog(const ErrorQuestion &question, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(EngineTexts::ErrorTitle);
    auto *layout = fixedLayout(this);
    auto *what = wrappingLabel(EngineTexts::ErrorWhat.arg(question.action, question.path), this);
    what->setObjectName(QStringLiteral("whatLabel"));
    layout->addWidget(what);
    auto *reason = wrappingLabel(EngineTexts::ErrorReason.arg(question.reason), this);
    reason->setObjectName(QStringLiteral("reasonLabel"));
    layout->addWidget(reason);

    auto *buttons = new QDialogButtonBox(this);
    const auto addButton = [&](const QString &text, const QString &objectName, ErrorAnswer answer) {
        return addAnswerButton(this, buttons, text, objectName, [this, answer] { m_answer = answer; });
    };
    if (!question.canSkip) {
        addButton(EngineTexts::ButtonOk, QStringLiteral("okButton"), ErrorAnswer::Cancel)->setDefault(true);
    } else {
        if (question.canRetry)
            addButton(EngineTexts::ButtonRetry, QStringLiteral("retryButton"), ErrorAnswer::Retry)->setDefault(true);
        addButton(EngineTexts::ButtonSkip, QStringLiteral("skipButton"), ErrorAnswer::Skip);
        addButton(EngineTexts::ButtonCancel, QStringLiteral("cancelButton"), ErrorAnswer::Cancel);
    }
    layout->addWidget(buttons);
}

DialogEngineQuestions::DialogEngineQuestions(QWidget *parent, UserDialogs *dialogs)
    : m_parent(parent)
    , m_ownDialogs(dialogs ? nullptr : std::make_unique<QtUserDialogs>())
    , m_dialogs(dialogs ? dialogs : m_ownDialogs.get())
{ }

DialogEngineQuestions::~DialogEngineQuestions() = default;

OverwriteAnswer DialogEngineQuestions::askOverwrite(const OverwriteQuestion &question)
{
    EngineConflictDialog dialog(question, m_parent);
    dialog.exec();
    return dialog.answer();
}

ErrorAnswer DialogEngineQuestions::askOnError(const ErrorQuestion &question)
{
    EngineErrorDialog dialog(question, m_parent);
    dialog.exec();
    return dialog.answer();
}

bool DialogEngineQuestions::confirmCreateFolder(const QString &folder)
{
    return askYesNo(EngineTexts::ConfirmCreateFolder.arg(folder));
}

bool DialogEngineQuestions::confirmTrash(const QString &path)
{
    return askYesNo(EngineTexts::ConfirmTrash.arg(path));
}

PreflightAnswer DialogEngineQuestions::askPreflight(const PreflightQuestion &question)
{
    // Through the program's dialogs: placed and stacked like every other question.
    EnginePreflightDialog dialog(question, m_parent);
    m_dialogs->execModal(&dialog);
    return dialog.answer();
}

bool DialogEngineQuestions::askYesNo(const QString &text)
{
    // The program's one Yes/No box: plain text (the question holds a path),
    // placed and stacked like every other question.
    return m_dialogs->askYesNo(text, EngineTexts::ConfirmTitle) == UserDialogs::Answer::Yes;
}
