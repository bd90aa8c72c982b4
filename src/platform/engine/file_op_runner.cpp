#include "platform/engine/file_op_runner.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_engine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

namespace {

// Hands each question from the worker to the waiting thread and blocks the
// worker until it is answered there (the answering side may run dialogs).
class CrossThreadQuestions : public EngineQuestions
{
public:
    CrossThreadQuestions(QObject *answeringContext, EngineQuestions &answerer)
        : m_context(answeringContext)
        , m_answerer(answerer)
    { }

    OverwriteAnswer askOverwrite(const OverwriteQuestion &question) override
    {
        OverwriteAnswer answer = OverwriteAnswer::Cancel;
        ask([&] { answer = m_answerer.askOverwrite(question); });
        return answer;
    }

    ErrorAnswer askOnError(const ErrorQuestion &question) override
    {
        ErrorAnswer answer = ErrorAnswer::Cancel;
        ask([&] { answer = m_answerer.askOnError(question); });
        return answer;
    }

    bool confirmCreateFolder(const QString &folder) override
    {
        bool answer = false;
        ask([&] { answer = m_answerer.confirmCreateFolder(folder); });
        return answer;
    }

    bool confirmTrash(const QString &path) override
    {
        bool answer = false;
        ask([&] { answer = m_answerer.confirmTrash(path); });
        return answer;
    }

    PreflightAnswer askPreflight(const PreflightQuestion &question) override
    {
        PreflightAnswer answer = PreflightAnswer::Cancel;
        ask([&] { answer = m_answerer.askPreflight(question); });
        return answer;
    }

private:
    template<typename Function>
    void ask(Function function)
    {
        if (QThread::currentThread() == m_context->thread())
            function();
        else
            QMetaObject::invokeMethod(m_context, function, Qt::BlockingQueuedConnection);
    }

    QObject *m_context;
    EngineQuestions &m_answerer;
};

// Lives on the worker thread and runs the engine there. Parameters come in
// through run(), progress and the result go out by queued signals.
class FileOpWorker : public QObject
{
    Q_OBJECT
public:
    FileOpWorker(EngineQuestions &questions, const std::atomic_bool &cancelFlag);

    void setTestSettings(const EngineTestSettings &settings) { m_testing = settings; }

public slots:
    void run(const FileOpParams &params);

signals:
    void progress(const FileOpProgress &progress);
    void finished(const FileOpResult &result);

private:
    EngineQuestions &m_questions;
    const std::atomic_bool &m_cancelFlag;
    EngineTestSettings m_testing;
};

void registerTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<FileOpParams>();
        qRegisterMetaType<FileOpProgress>();
        qRegisterMetaType<FileOpResult>();
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

FileOpWorker::FileOpWorker(EngineQuestions &questions, const std::atomic_bool &cancelFlag)
    : m_questions(questions)
    , m_cancelFlag(cancelFlag)
{ }

void FileOpWorker::run(const FileOpParams &params)
{
    FileOpEngine engine(m_questions, m_cancelFlag);
    engine.setTestSettings(m_testing);
    engine.setProgressHandler([this](const FileOpProgress &p) { emit progress(p); });
    emit finished(engine.run(params));
}

FileOpRunner::FileOpRunner(QObject *parent)
    : QObject(parent)
{
    registerTypes();
}

FileOpRunner::~FileOpRunner() = default;

void FileOpRunner::cancel()
{
    m_cancelFlag.store(true);
}

FileOpResult FileOpRunner::run(const FileOpParams &params, EngineQuestions &questions)
{
    if (m_running) {
        FileOpResult busy;
        busy.status = FileOpResult::Status::Failed;
        busy.message = EngineTexts::EngineBusy;
        return busy;
    }
    m_running = true;
    m_cancelFlag.store(false);

    CrossThreadQuestions bridge(this, questions);
    QThread thread;
    thread.setObjectName(QStringLiteral("korvan-fileop"));
    auto *worker = new FileOpWorker(bridge, m_cancelFlag);
    worker->setTestSettings(m_testing);
    worker->moveToThread(&thread);

    FileOpResult result;
    result.status = FileOpResult::Status::Failed;
    result.message = EngineTexts::EngineAborted;
    QEventLoop loop;
    bool done = false;
    connect(worker, &FileOpWorker::progress, this, &FileOpRunner::progress, Qt::QueuedConnection);
    connect(
        worker, &FileOpWorker::finished, &loop,
        [&](const FileOpResult &r) {
            result = r;
            done = true;
            loop.quit();
        },
        Qt::QueuedConnection);

    thread.start();
    QMetaObject::invokeMethod(worker, "run", Qt::QueuedConnection, Q_ARG(FileOpParams, params));
    loop.exec(QEventLoop::AllEvents);
    // QCoreApplication::exit() ends every event loop, ours too, and makes new
    // ones return at once. The worker must still finish the safe way (and
    // may need its questions delivered), so keep serving events by hand.
    while (!done) {
        m_cancelFlag.store(true);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!done)
            QThread::msleep(5);
    }

    thread.quit();
    thread.wait();
    delete worker;
    m_running = false;
    return result;
}

#include "file_op_runner.moc"
