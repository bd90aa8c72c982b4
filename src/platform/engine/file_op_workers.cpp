// The copy workers of a job (see file_op_workers.h).
#include "platform/engine/file_op_workers.h"

#include "platform/engine/file_system.h"

#include <algorithm>

namespace EngineJob {

CopyWorkers::CopyWorkers(int count, CopyShared &shared, Work work, int batchFiles, qint64 batchBytes)
    : m_shared(shared)
    , m_work(std::move(work))
    , m_batchFiles(size_t(std::max(batchFiles, 1)))
    , m_batchBytes(batchBytes)
{
    m_workerFolders.assign(size_t(count), NoFolder);
    m_threads.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        m_threads.emplace_back([this, i] { runWorker(size_t(i)); });
}

CopyWorkers::~CopyWorkers()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_waiting.clear();
        m_waitingBytes = 0;
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
        m_waitingBytes += qint64(task->srcSt.st_size);
        m_outstandingBytes += qint64(task->srcSt.st_size);
        m_outstandingPathBytes += task->src.size() + task->dst.size();
        m_waiting.push_back(task.get());
        m_inOrder.push_back(std::move(task));
        wake = m_idleWorkers > 0 && batchReady(); // a busy worker looks for the next task by itself
    }
    if (wake)
        m_taskWaiting.notify_one();
}

void CopyWorkers::release()
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = !m_waiting.empty();
        wake = m_released && m_idleWorkers > 0;
    }
    if (wake)
        m_taskWaiting.notify_all();
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
    const auto startWaiting = [this] {
        m_takerWaiting = true;
        // A batch short of its size is taken now: the job's thread waits for it.
        if (m_batchFiles > 1 && !m_waiting.empty())
            m_taskWaiting.notify_all();
    };
    startWaiting();
    while (!m_taskFinished.wait_for(lock, std::chrono::milliseconds(waitingIntervalMs), finished)) {
        m_takerWaiting = false;
        lock.unlock();
        waiting();
        lock.lock();
        startWaiting();
    }
    m_takerWaiting = false;
    std::unique_ptr<FileTask> task = std::move(m_inOrder.front());
    m_inOrder.pop_front();
    if (!task->whenTakenBack) {
        m_outstandingBytes -= qint64(task->srcSt.st_size);
        m_outstandingPathBytes -= task->src.size() + task->dst.size();
    }
    return task;
}

bool CopyWorkers::oldestFinished()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_inOrder.empty() && m_inOrder.front()->finished;
}

qint64 CopyWorkers::unwrittenBytes(quint64 volume)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    qint64 unwritten = 0;
    for (const std::unique_ptr<FileTask> &task : m_inOrder) {
        // A task finished wrote what it will (a failed one is copied again, and counted then).
        if (!task->finished && task->spaceBytes > 0 && task->spaceVolume == volume)
            unwritten += std::max(task->spaceBytes - task->reportedBytes.load(std::memory_order_relaxed), qint64(0));
    }
    return unwritten;
}

bool CopyWorkers::batchReady() const
{
    return !m_waiting.empty()
        && (m_waiting.size() >= m_batchFiles || m_waitingBytes >= m_batchBytes || m_takerWaiting || m_released);
}

void CopyWorkers::takeBatch(size_t worker, std::vector<FileTask *> *batch)
{
    // Two workers filling one folder wait for each other: the kernel lets
    // one name a file there at a time. So a worker takes the first files
    // waiting in a folder no other worker is in, if the walk has run that
    // far ahead; otherwise the first ones waiting, as they come.
    size_t first = 0;
    const size_t looked = std::min(m_waiting.size(), FolderLookAhead);
    for (size_t i = 0; i < looked; ++i) {
        const int folder = m_waiting[i]->ref.dirFd;
        if (std::none_of(m_workerFolders.begin(), m_workerFolders.end(), [&](int other) { return other == folder; })
            || m_workerFolders[worker] == folder) {
            first = i;
            break;
        }
    }
    const int folder = m_waiting[first]->ref.dirFd;
    m_workerFolders[worker] = folder;
    size_t end = first;
    qint64 bytes = 0;
    while (end < m_waiting.size() && batch->size() < m_batchFiles && (batch->empty() || bytes < m_batchBytes)) {
        FileTask *next = m_waiting[end];
        if (next->ref.dirFd != folder && !batch->empty())
            break; // the batch stays in one folder
        if (m_batchFiles > 1 && !batch->empty() && qint64(next->srcSt.st_size) >= m_batchBytes)
            break; // a big file goes alone
        ++end;
        bytes += qint64(next->srcSt.st_size);
        m_waitingBytes -= qint64(next->srcSt.st_size);
        batch->push_back(next);
    }
    m_waiting.erase(m_waiting.begin() + std::ptrdiff_t(first), m_waiting.begin() + std::ptrdiff_t(end));
}

void CopyWorkers::runWorker(size_t worker)
{
    // The operation's file system, as on the job's own thread.
    FileSystemScope scope(m_shared.testing.fileSystem);
    FileTask *task = nullptr;
    Copier copier(m_shared, [this, &task](qint64 bytes) {
        m_shared.workerBytes += bytes;
        task->reportedBytes += bytes;
    });
    const std::function<void(FileTask &)> working = [&task](FileTask &next) { task = &next; };
    std::vector<FileTask *> batch;
    for (;;) {
        batch.clear();
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            ++m_idleWorkers;
            if (!batchReady())
                m_workerFolders[worker] = NoFolder; // idle: its folder is free for the others
            m_taskWaiting.wait(lock, [this] { return m_quit || batchReady(); });
            --m_idleWorkers;
            if (m_quit)
                return;
            takeBatch(worker, &batch);
            m_released = m_released && !m_waiting.empty();
        }
        task = batch.front();
        m_work(batch, copier, working);
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (FileTask *done : batch) {
                done->finished = true;
                wake = wake || (m_takerWaiting && done == m_inOrder.front().get());
            }
        }
        if (wake)
            m_taskFinished.notify_one();
    }
}

} // namespace EngineJob
