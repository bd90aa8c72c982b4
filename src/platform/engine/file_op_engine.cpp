#include "platform/engine/file_op_engine.h"

#include "platform/engine/file_op_job.h"
#include "platform/engine/file_system.h"
#include "platform/engine/trash.h"

FileOpEngine::FileOpEngine(EngineQuestions &questions, const std::atomic_bool &cancelFlag)
    : m_questions(questions)
    , m_cancelFlag(cancelFlag)
{ }

void FileOpEngine::setProgressHandler(std::function<void(const FileOpProgress &)> handler)
{
    m_progressHandler = std::move(handler);
}

void FileOpEngine::setTestSettings(EngineTestSettings settings)
{
    m_testing = std::move(settings);
}

FileOpResult FileOpEngine::run(const FileOpParams &params)
{
    FileSystemScope scope(m_testing.fileSystem);
    Trash::lookForLeftoversAgain();
    EngineJob::Job job(m_questions, m_cancelFlag, m_progressHandler, m_testing);
    return job.run(params);
}
