#pragma once

// The count of what a copy is to write (files and bytes, for the progress),
// made on a thread of its own beside the copy, so that the first file is
// written at once whatever the size of the tree. Private to the engine.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QtGlobal>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

class FileSystem;

namespace EngineJob {

// A regular file as the count saw it: the hash of its name (seenNameHash)
// and what the walk uses of its lstat (the worker that copies it looks at
// the file it opens for the rest).
struct SeenFile
{
    SeenFile(size_t hash, const struct stat &st);
    // That lstat, the fields kept filled in, the others zero.
    struct stat lstat() const;

    size_t nameHash;
    dev_t device;
    ino_t inode;
    qint64 size;
    qint64 blocks;
    struct timespec modified;
    mode_t mode;
    quint32 links;
};
size_t seenNameHash(QByteArrayView name);

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
    // Before start: the count keeps what it saw of the regular files of
    // each folder, up to mostFiles of them, for the copy's walk to take
    // instead of looking at each file again. Once a folder does not fit,
    // it keeps no more, so what it keeps is always where the walk starts.
    void keepSeenFiles(size_t mostFiles) { m_seenMost = mostFiles; }
    // What the count kept of the folder (device, inode), in the order it
    // listed them, taken out of its keeping with anything kept before it
    // (folders the walk passed by); false: it kept nothing of the folder
    // (not yet there, or no room).
    bool takeSeenFiles(dev_t device, ino_t inode, std::vector<SeenFile> *files);
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
    // Keeps files as what was seen in the folder at level, if there is room.
    void keepSeen(const Level &level, std::vector<SeenFile> files);

    struct SeenFolder
    {
        dev_t device = 0;
        ino_t inode = 0;
        std::vector<SeenFile> files;
    };

    FileSystem *m_fileSystem;
    std::function<bool()> m_stopWanted;
    std::function<void(const char *, const QByteArray &)> m_point;
    std::thread m_thread;
    std::atomic_bool m_stop {false};
    std::atomic_bool m_finished {false};
    std::atomic<qint64> m_files {0};
    std::atomic<qint64> m_bytes {0};

    size_t m_seenMost = 0;
    std::mutex m_seenMutex;
    std::deque<SeenFolder> m_seen; // in the order counted
    size_t m_seenFiles = 0; // in m_seen
    bool m_seenFull = false; // a folder did not fit: nothing more is kept
};

} // namespace EngineJob
