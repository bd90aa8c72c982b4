#pragma once

#include "platform/engine/engine_questions.h"
#include "platform/engine/file_op_params.h"

#include <QByteArray>

#include <atomic>
#include <functional>

// The synchronous engine: runs one operation on the calling thread, asking
// questions through EngineQuestions and checking the cancel flag between
// chunks. FileOpRunner puts it on a worker thread; tests may call it directly.
class FileOpEngine
{
public:
    FileOpEngine(EngineQuestions &questions, const std::atomic_bool &cancelFlag);

    // Called with progress at most about every 100 ms, and once at the end.
    void setProgressHandler(std::function<void(const FileOpProgress &)> handler);

    // Test hook: copy in chunks of chunkBytes and sleep delayUs after each,
    // so that a cancel reliably lands in the middle of a copy.
    void setChunkDelayForTesting(qint64 chunkBytes, int delayUs);

    // Test hook: called at named points of a copy, so that a test can change
    // the file system exactly there ("chunk-copied" with the source,
    // "source-checked" with the source just before it is opened,
    // "folder-created" with a new target folder, "file-written" with the
    // target whose new content is complete but not yet under its name).
    using TestHook = std::function<void(const char *point, const QByteArray &path)>;
    void setTestHook(TestHook hook);

    // Performs the operation; returns when it is over.
    FileOpResult run(const FileOpParams &params);

private:
    EngineQuestions &m_questions;
    const std::atomic_bool &m_cancelFlag;
    std::function<void(const FileOpProgress &)> m_progressHandler;
    qint64 m_testChunkBytes = 0;
    int m_testDelayUs = 0;
    TestHook m_testHook;
};
