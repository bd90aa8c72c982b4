#pragma once

#include "platform/engine/engine_questions.h"
#include "platform/engine/engine_testing.h"
#include "platform/engine/file_op_params.h"

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

    // Slower chunks and named test points, see EngineTestSettings.
    void setTestSettings(EngineTestSettings settings);

    // Performs the operation; returns when it is over.
    FileOpResult run(const FileOpParams &params);

private:
    EngineQuestions &m_questions;
    const std::atomic_bool &m_cancelFlag;
    std::function<void(const FileOpProgress &)> m_progressHandler;
    EngineTestSettings m_testing;
};
