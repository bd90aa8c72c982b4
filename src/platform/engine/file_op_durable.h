#pragma once

// What makes a finished operation durable: the flush of every volume written
// to before the operation says it is done (what is written meanwhile is kept
// bounded by the write-back window, file_op_write_back.h). Private to the
// engine; Linux calls.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <sys/types.h>

namespace EngineJob {

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
