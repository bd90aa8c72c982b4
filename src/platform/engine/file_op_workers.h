#pragma once

// The copy workers of a job: a few threads that copy the files of a tree
// while the job's own thread walks it. Files are handed out in the
// order of the walk and taken back in that same order, so whatever has to
// be asked about them is asked one question at a time, in walk order, by
// the job's thread. Private to the engine.

#include "platform/engine/file_op_copier.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace EngineJob {

struct Journal;

// A file handed to a worker, and what became of it.
struct FileTask
{
    enum class Outcome {
        Done, // copied and named
        Redo, // not copied (failed, or the name is taken): the job's thread does it again, asking as usual
        Dropped, // not copied because the job is over
    };

    QByteArray src;
    QByteArray dst;
    struct stat srcSt;
    SourceRef from; // relative to the folder being read, open until the task is taken back
    TargetRef ref; // relative to the folder being filled, the same
    QByteArray sourceDirPath; // those folders
    QByteArray dirPath;
    Journal *journal = nullptr; // of the job's thread: filled when the task is taken back

    // Set instead of the above for a step of the walk that waits for the
    // files handed out before it (a folder finished); no worker runs it.
    std::function<void()> whenTakenBack;

    Outcome outcome = Outcome::Dropped;
    SourceState state;
    QList<QPair<Note, QByteArray>> notes;
    std::atomic<qint64> reportedBytes {0}; // added to CopyShared::workerBytes while it is copied
    // The free space counted for it when it was handed out, and on which
    // volume (statvfs f_fsid; bytes 0: none counted).
    qint64 spaceBytes = 0;
    quint64 spaceVolume = 0;
    bool nameTaken = false; // Redo because the final name exists: ask about it
    bool statFromCount = false; // srcSt is what the count saw: looked at again for a Redo
    bool finished = false; // guarded by the pool's mutex
};

class CopyWorkers
{
public:
    // What a worker does with a batch of tasks (in walk order), with the
    // worker's own copier; it calls working(task) before it works on each.
    using Work = std::function<void(const std::vector<FileTask *> &batch, Copier &,
                                    const std::function<void(FileTask &)> &working)>;
    // Each worker's copier adds the bytes it copies to CopyShared::workerBytes
    // and to the reportedBytes of the task it works on.

    // A worker takes up to batchFiles tasks at a time, fewer once they hold
    // batchBytes (a file of batchBytes or more goes alone); with more than
    // one it waits until that many are waiting or the job's thread waits
    // for one of them.
    CopyWorkers(int count, CopyShared &shared, Work work, int batchFiles = 1, qint64 batchBytes = 0);
    CopyWorkers(const CopyWorkers &) = delete;
    CopyWorkers &operator=(const CopyWorkers &) = delete;
    // Waits for the tasks under way; the ones not started are not done.
    ~CopyWorkers();

    void submit(std::unique_ptr<FileTask> task);
    // The files waiting are taken now, short of a batch: the job's thread
    // turns to work of its own (a big file, a folder) and hands out no more
    // for a while.
    void release();
    // A task with nothing for a worker to do, taken back in its turn.
    void submitFinished(std::unique_ptr<FileTask> task);
    // Handed out and not yet taken back, and their bytes (the job's thread only).
    int outstanding() const { return int(m_inOrder.size()); }
    qint64 outstandingBytes() const { return m_outstandingBytes; }
    qint64 outstandingPathBytes() const { return m_outstandingPathBytes; }
    // The oldest handed out (nullptr: none).
    const FileTask *oldest() const { return m_inOrder.empty() ? nullptr : m_inOrder.front().get(); }
    // Of the free space counted for the tasks handed out on volume, what
    // they have not written yet.
    qint64 unwrittenBytes(quint64 volume);
    // The oldest task handed out, once a worker is done with it; waiting
    // is called about every waitingIntervalMs until then.
    std::unique_ptr<FileTask> takeOldest(const std::function<void()> &waiting, int waitingIntervalMs);
    // Whether the oldest task handed out is done with (without waiting).
    bool oldestFinished();

private:
    void runWorker(size_t worker);
    // Moves the next batch for worker from m_waiting into batch (under the mutex).
    void takeBatch(size_t worker, std::vector<FileTask *> *batch);
    // Whether an idle worker is to take what is waiting (under the mutex).
    bool batchReady() const;

    CopyShared &m_shared;
    const Work m_work;
    const size_t m_batchFiles;
    const qint64 m_batchBytes;
    qint64 m_waitingBytes = 0; // of the tasks in m_waiting
    qint64 m_outstandingBytes = 0; // of the tasks in m_inOrder
    qint64 m_outstandingPathBytes = 0; // their source and target paths
    std::mutex m_mutex;
    std::condition_variable m_taskWaiting;
    std::condition_variable m_taskFinished;
    std::deque<FileTask *> m_waiting; // not started yet
    std::deque<std::unique_ptr<FileTask>> m_inOrder; // handed out, in walk order (the job's thread only)
    bool m_quit = false;
    int m_idleWorkers = 0; // waiting for a task
    bool m_takerWaiting = false; // the job's thread waits in takeOldest
    bool m_released = false; // release(): until what waits is taken
    // The target folder each worker is filling (NoFolder: none), so that
    // the others take files of another one; how far they look for one.
    static constexpr int NoFolder = -2;
    static constexpr size_t FolderLookAhead = 4096;
    std::vector<int> m_workerFolders;
    std::vector<std::thread> m_threads;
};

} // namespace EngineJob
