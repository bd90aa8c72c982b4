#pragma once

// What makes a finished operation durable: the write-back of big files
// while they are written, and the flush of every volume written to before
// the operation says it is done. Private to the engine; Linux calls.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <deque>
#include <sys/types.h>

namespace EngineJob {

// Data written but not yet on the device is kept below about this much:
// write-back of each finished piece of WriteBackPieceBytes starts at once,
// and the copy waits for the oldest pieces while more than
// WriteBackWaitBytes are under way. The bytes a copy reports are then
// close to what the device has taken, and a cancel is answered soon.
constexpr qint64 DirtyLimitBytes = 64 * 1024 * 1024;
constexpr qint64 WriteBackPieceBytes = 8 * 1024 * 1024;
constexpr qint64 WriteBackWaitBytes = 32 * 1024 * 1024;

// Keeps the written but not yet stored data of big files bounded (see
// DirtyLimitBytes). Used by one thread; it keeps a duplicate of a file's
// descriptor while pieces of that file are still under way.
class WriteBack
{
public:
    WriteBack() = default;
    WriteBack(const WriteBack &) = delete;
    WriteBack &operator=(const WriteBack &) = delete;
    ~WriteBack();

    // [offset, offset + length) of fd was written.
    void written(int fd, qint64 offset, qint64 length);
    // fd is complete and about to be closed; true when some of it is still
    // tracked here (it was big enough to be written back piece by piece).
    bool fileDone(int fd);
    // The copy in fd is thrown away: nothing of it needs to reach the device.
    void forget(int fd);

private:
    struct Piece
    {
        int fd;
        qint64 begin;
        qint64 end;
        bool started;
        bool ownsFd; // a duplicate kept after the file was closed
    };
    void start(Piece &piece);
    void waitOldest();

    std::deque<Piece> m_pieces;
    qint64 m_startedBytes = 0;
};

// The volumes and folders an operation changed, made durable together when
// it ends: one syncfs per volume written to (data, new files and folders),
// on a descriptor opened when it was noted, and an fsync of each folder
// where only names changed (renames); past a few such folders their volume
// is flushed as a whole instead. Used by the job's thread.
class VolumeFlush
{
public:
    VolumeFlush() = default;
    VolumeFlush(const VolumeFlush &) = delete;
    VolumeFlush &operator=(const VolumeFlush &) = delete;
    ~VolumeFlush();

    // Data or new entries were written on the volume of dirFd (a folder,
    // path for messages); a duplicate of it is kept when the volume is new.
    void noteWritten(int dirFd, const QByteArray &path);
    // Entries of this folder were renamed.
    void noteRenamed(const QByteArray &folder);
    bool isEmpty() const { return m_volumes.isEmpty() && m_folders.isEmpty(); }

    struct Failure
    {
        QByteArray path;
        int errorCode = 0;
    };
    // Flushes all that was noted and forgets it. Returns false (and the
    // first failure) when a volume could not store what was written.
    // flushed: called with each volume's folder after its flush.
    template<typename OnFlushed>
    bool flush(Failure *failure, OnFlushed flushed);
    // Forgets what was noted without flushing (what was written is gone again).
    void clear();

private:
    struct Volume
    {
        dev_t device;
        int fd;
        QByteArray path;
    };
    bool flushOne(const Volume &volume, Failure *failure);
    bool syncFolder(const QByteArray &folder, Failure *failure);

    QList<Volume> m_volumes;
    QList<QByteArray> m_folders;
};

template<typename OnFlushed>
bool VolumeFlush::flush(Failure *failure, OnFlushed flushed)
{
    bool ok = true;
    for (const Volume &volume : std::as_const(m_volumes)) {
        if (flushOne(volume, ok ? failure : nullptr))
            flushed(volume.path);
        else
            ok = false;
    }
    for (const QByteArray &folder : std::as_const(m_folders)) {
        if (!syncFolder(folder, ok ? failure : nullptr))
            ok = false;
    }
    clear();
    return ok;
}

} // namespace EngineJob
