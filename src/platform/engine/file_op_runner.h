#pragma once

#include "platform/engine/engine_questions.h"
#include "platform/engine/engine_testing.h"
#include "platform/engine/file_op_params.h"

#include <QObject>

#include <atomic>

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

    // Handed on to the engine of every later run(), see EngineTestSettings.
    void setTestSettings(const EngineTestSettings &settings) { m_testing = settings; }

signals:
    void progress(const FileOpProgress &progress);

private:
    std::atomic_bool m_cancelFlag {false};
    bool m_running = false;
    EngineTestSettings m_testing;
};
