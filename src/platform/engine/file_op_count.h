#pragma once

// The count of what a copy is to write (files and bytes, for the progress),
// made on a thread of its own beside the copy, so that the first file is
// written at once whatever the size of the tree. Private to the engine.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <vector>

class FileSystem;

namespace EngineJob {

class TreeCount
{
public:
    // stopWanted: asked before every entry; true makes the count leave off.
    // point: called with "counting" and each folder the count enters, and
    // with "count-done" when it has counted everything (tests).
    TreeCount(FileSystem *fileSystem, std::function<bool()> stopWanted,
              std::function<void(const char *, const QByteArray &)> point);
    ~TreeCount();
    TreeCount(const TreeCount &) = delete;
    TreeCount &operator=(const TreeCount &) = delete;

    // Counts the folder at path (st: its lstat) on the count's own thread.
    void start(const QByteArray &path, const struct stat &st);
    // Waits until the count has ended (counted everything, or left off).
    void wait();
    // Makes the count leave off and waits for it.
    void stop();

    // Everything is counted: the totals are final.
    bool finished() const { return m_finished.load(std::memory_order_acquire); }
    qint64 files() const { return m_files.load(std::memory_order_relaxed); }
    qint64 bytes() const { return m_bytes.load(std::memory_order_relaxed); }

private:
    // A folder on the way down: its subfolders still to be entered, and
    // (for the deepest levels only) its descriptor.
    struct Level
    {
        int fd = -1;
        dev_t device = 0;
        ino_t inode = 0;
        QList<QByteArray> subfolders;
        qsizetype next = 0;
    };

    void run(QByteArray path, struct stat st);
    bool walk(const QByteArray &path, int topFd);
    // Counts the files of the folder at level.fd and lists its subfolders.
    bool list(Level &level);
    // The descriptor of the level above the deepest, opened again through
    // ".." of the deepest when it was closed; false if it is not the same folder.
    bool reopenParent(std::vector<Level> &levels);
    bool stopNow() const { return m_stop.load(std::memory_order_relaxed) || m_stopWanted(); }

    FileSystem *m_fileSystem;
    std::function<bool()> m_stopWanted;
    std::function<void(const char *, const QByteArray &)> m_point;
    std::thread m_thread;
    std::atomic_bool m_stop {false};
    std::atomic_bool m_finished {false};
    std::atomic<qint64> m_files {0};
    std::atomic<qint64> m_bytes {0};
};

} // namespace EngineJob
