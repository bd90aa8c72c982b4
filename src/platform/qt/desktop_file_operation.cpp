#include "platform/qt/desktop_file_operation.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_params.h"
#include "platform/engine/file_op_runner.h"
#include "platform/qt/engine_dialogs.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

QString titleFor(FileOpParams::Mode mode)
{
    switch (mode) {
    case FileOpParams::Mode::Copy: return EngineTexts::TitleCopying;
    case FileOpParams::Mode::Move: return EngineTexts::TitleMoving;
    case FileOpParams::Mode::Trash: return EngineTexts::TitleTrashing;
    }
    return QString();
}

} // namespace

DesktopFileOperation::DesktopFileOperation(QWidget *dialogParent, UserDialogs *dialogs)
    : m_dialogParent(dialogParent)
    , m_runner(std::make_unique<FileOpRunner>())
    , m_dialogQuestions(std::make_unique<DialogEngineQuestions>(dialogParent, dialogs))
    , m_questions(m_dialogQuestions.get())
{
    // Quitting the program cancels the operation the safe way.
    if (QCoreApplication *app = QCoreApplication::instance()) {
        FileOpRunner *runner = m_runner.get();
        QObject::connect(app, &QCoreApplication::aboutToQuit, runner, [runner] { runner->cancel(); });
    }
}

DesktopFileOperation::~DesktopFileOperation() = default;

void DesktopFileOperation::setQuestions(EngineQuestions *questions)
{
    m_questions = questions ? questions : m_dialogQuestions.get();
}

void DesktopFileOperation::setTestSettings(const EngineTestSettings &settings)
{
    m_runner->setTestSettings(settings);
}

FileOpResult DesktopFileOperation::perform(const FileOpRecord &op)
{
    FileOpParams params;
    QString error;
    if (!FileOpParams::fromRecord(op, &params, &error)) {
        ErrorQuestion question;
        question.path = op.pFrom;
        question.action = EngineTexts::ActionPerform;
        question.reason = error;
        question.canRetry = false;
        question.canSkip = false;
        m_questions->askOnError(question);
        FileOpResult refused;
        refused.status = FileOpResult::Status::Failed;
        refused.message = error;
        return refused;
    }
    if (m_runner->isRunning()) {
        FileOpResult busy;
        busy.status = FileOpResult::Status::Failed;
        busy.message = EngineTexts::EngineBusy;
        return busy;
    }

    auto *dialog = new EngineProgressDialog(m_dialogParent);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->setOperationTitle(titleFor(params.mode));
    m_progressDialog = dialog;
    FileOpRunner *runner = m_runner.get();
    QObject::connect(runner, &FileOpRunner::progress, dialog, &EngineProgressDialog::updateProgress);
    QObject::connect(dialog, &EngineProgressDialog::cancelRequested, runner, [runner] { runner->cancel(); });
    QTimer showTimer;
    showTimer.setSingleShot(true);
    QObject::connect(&showTimer, &QTimer::timeout, dialog, [dialog, runner] {
        if (runner->isRunning())
            dialog->show();
    });
    showTimer.start(m_progressDelayMs);

    const FileOpResult result = m_runner->run(params, *m_questions);

    showTimer.stop();
    m_progressDialog.clear();
    dialog->hide();
    delete dialog;
    return result;
}

void DesktopFileOperation::cancelRunning()
{
    m_runner->cancel();
}

bool DesktopFileOperation::isRunning() const
{
    return m_runner->isRunning();
}
