#pragma once

#include "platform/engine/engine_questions.h"
#include "platform/engine/file_op_params.h"

#include <QObject>

#include <atomic>

// Lives on the worker thread and runs the engine there. Parameters come in
// through run(), progress and the result go out by queued signals.
class FileOpWorker : public QObject
{
    Q_OBJECT
public:
    FileOpWorker(EngineQuestions &questions, const std::atomic_bool &cancelFlag);

    void setChunkDelayForTesting(qint64 chunkBytes, int delayUs);

public slots:
    void run(const FileOpParams &params);

signals:
    void progress(const FileOpProgress &progress);
    void finished(const FileOpResult &result);

private:
    EngineQuestions &m_questions;
    const std::atomic_bool &m_cancelFlag;
    qint64 m_testChunkBytes = 0;
    int m_testDelayUs = 0;
};

// Runs one operation on a worker thread while the calling thread waits in a
// local event loop, so its windows stay live. Questions are answered on the
// calling thread by the EngineQuestions given to run().
class FileOpRunner : public QObject
{
    Q_OBJECT
public:
    explicit FileOpRunner(QObject *parent = nullptr);
    ~FileOpRunner() override;

    // Performs the operation and returns when it is over. Refuses (Failed)
    // when an operation is already running.
    FileOpResult run(const FileOpParams &params, EngineQuestions &questions);

    // Asks the running operation to stop at the next chunk; run() then
    // returns Cancelled. Safe to call from any thread.
    void cancel();

    bool isRunning() const { return m_running; }

    // See FileOpEngine::setChunkDelayForTesting.
    void setChunkDelayForTesting(qint64 chunkBytes, int delayUs);

signals:
    void started();
    void progress(const FileOpProgress &progress);

private:
    std::atomic_bool m_cancelFlag {false};
    bool m_running = false;
    qint64 m_testChunkBytes = 0;
    int m_testDelayUs = 0;
};
