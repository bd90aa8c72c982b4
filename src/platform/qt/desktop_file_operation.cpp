#include "platform/qt/desktop_file_operation.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_params.h"
#include "platform/engine/file_op_runner.h"
#include "platform/qt/engine_dialogs.h"

#include <QCoreApplication>
#include <QTimer>

#include <functional>

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

// Passes the engine's questions on and knows whether one is open: the
// progress window waits while one is, and comes once it is answered.
class QuestionGate : public EngineQuestions
{
public:
    QuestionGate(EngineQuestions &questions, std::function<void()> answered)
        : m_questions(questions)
        , m_answered(std::move(answered))
    { }

private:
    // Before its users: they take their return type from it.
    template<typename Ask>
    auto pass(Ask ask)
    {
        ++m_open;
        const auto answer = ask();
        if (--m_open == 0)
            m_answered();
        return answer;
    }

public:
    bool asking() const { return m_open > 0; }

    OverwriteAnswer askOverwrite(const OverwriteQuestion &question) override
    {
        return pass([&] { return m_questions.askOverwrite(question); });
    }
    ErrorAnswer askOnError(const ErrorQuestion &question) override
    {
        return pass([&] { return m_questions.askOnError(question); });
    }
    bool confirmCreateFolder(const QString &folder) override
    {
        return pass([&] { return m_questions.confirmCreateFolder(folder); });
    }
    bool confirmTrash(const QString &path) override
    {
        return pass([&] { return m_questions.confirmTrash(path); });
    }
    PreflightAnswer askPreflight(const PreflightQuestion &question) override
    {
        return pass([&] { return m_questions.askPreflight(question); });
    }

private:
    EngineQuestions &m_questions;
    std::function<void()> m_answered;
    int m_open = 0;
};

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
    params.verify = verifyAfterCopy();
    if (m_runner->isRunning()) {
        FileOpResult busy;
        busy.status = FileOpResult::Status::Failed;
        busy.message = EngineTexts::EngineBusy;
        return busy;
    }

    auto *dialog = new EngineProgressDialog(m_dialogParent);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->setOperationTitle(titleFor(params.mode));
    // Before the first progress arrives, the window already says what it works on.
    dialog->setCurrentPath(params.source);
    m_progressDialog = dialog;
    FileOpRunner *runner = m_runner.get();
    QObject::connect(runner, &FileOpRunner::progress, dialog, &EngineProgressDialog::updateProgress);
    QObject::connect(dialog, &EngineProgressDialog::cancelRequested, runner, [runner] { runner->cancel(); });
    // The window is not put up behind an open question (a missing source,
    // a file to overwrite): once the question is answered, the operation
    // gets the same time again before the window comes.
    QTimer showTimer;
    showTimer.setSingleShot(true);
    bool showWhenAnswered = false;
    QuestionGate questions(*m_questions, [&showWhenAnswered, &showTimer, runner, this] {
        if (showWhenAnswered && runner->isRunning())
            showTimer.start(m_progressDelayMs);
        showWhenAnswered = false;
    });
    QObject::connect(&showTimer, &QTimer::timeout, dialog, [&showWhenAnswered, &questions, dialog, runner] {
        if (!runner->isRunning())
            return;
        if (questions.asking())
            showWhenAnswered = true;
        else
            dialog->show();
    });
    showTimer.start(m_progressDelayMs);

    const FileOpResult result = m_runner->run(params, questions);

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
