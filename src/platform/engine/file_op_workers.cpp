// The copy workers of a job (see file_op_workers.h).
#include "platform/engine/file_op_workers.h"

namespace EngineJob {

CopyWorkers::CopyWorkers(int count, CopyShared &shared, Work work)
    : m_shared(shared)
    , m_work(std::move(work))
{
    m_threads.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        m_threads.emplace_back([this] { runWorker(); });
}

CopyWorkers::~CopyWorkers()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_waiting.clear();
    }
    m_taskWaiting.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void CopyWorkers::submit(std::unique_ptr<FileTask> task)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waiting.push_back(task.get());
        m_inOrder.push_back(std::move(task));
        wake = m_idleWorkers > 0; // a busy worker looks for the next task by itself
    }
    if (wake)
        m_taskWaiting.notify_one();
}

void CopyWorkers::submitFinished(std::unique_ptr<FileTask> task)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    task->finished = true;
    m_inOrder.push_back(std::move(task));
}

std::unique_ptr<FileTask> CopyWorkers::takeOldest(const std::function<void()> &waiting, int waitingIntervalMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto finished = [this] { return m_inOrder.front()->finished; };
    m_takerWaiting = true;
    while (!m_taskFinished.wait_for(lock, std::chrono::milliseconds(waitingIntervalMs), finished)) {
        m_takerWaiting = false;
        lock.unlock();
        waiting();
        lock.lock();
        m_takerWaiting = true;
    }
    m_takerWaiting = false;
    std::unique_ptr<FileTask> task = std::move(m_inOrder.front());
    m_inOrder.pop_front();
    return task;
}

bool CopyWorkers::oldestFinished()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_inOrder.empty() && m_inOrder.front()->finished;
}

void CopyWorkers::runWorker()
{
    FileTask *task = nullptr;
    Copier copier(m_shared, nullptr, [this, &task](qint64 bytes) {
        m_shared.workerBytes += bytes;
        task->reportedBytes += bytes;
    });
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            ++m_idleWorkers;
            m_taskWaiting.wait(lock, [this] { return m_quit || !m_waiting.empty(); });
            --m_idleWorkers;
            if (m_quit)
                return;
            task = m_waiting.front();
            m_waiting.pop_front();
        }
        m_work(*task, copier);
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            task->finished = true;
            wake = m_takerWaiting && task == m_inOrder.front().get();
        }
        if (wake)
            m_taskFinished.notify_one();
    }
}

} // namespace EngineJob
