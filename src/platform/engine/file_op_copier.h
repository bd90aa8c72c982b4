#pragma once

// One file's copy, from its source to a complete copy under its final name,
// done by a Copier. The job has one for its own thread and each of its
// copy workers has another (file_op_workers.h), so a Copier keeps
// everything it changes to itself; what all of them share is a CopyShared.
// Private to the engine.

#include "platform/engine/engine_testing.h"
#include "platform/engine/file_op_write_back.h"
#include "platform/engine/file_system.h"
#include "platform/engine/fs_util.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace EngineJob {

constexpr qint64 CopyChunkBytes = 16 * 1024 * 1024; // cancel and progress granularity
constexpr qint64 ReadWriteBufferBytes = 1024 * 1024;
// A source file as it was copied: a move removes it only if it still is so.
struct SourceState
{
    dev_t device = 0;
    ino_t inode = 0;
    nlink_t links = 0;
    qint64 size = 0; // the bytes copied (to the end of the file, whatever st_size said)
    struct timespec modified = {0, 0}; // st_mtim when the copy started
    struct timespec changed = {0, 0}; // st_ctim then: any write or chmod since moves it on

    // The entry as st shows it (a link, or another name of a file copied before).
    static SourceState of(const struct stat &st)
    {
        return {st.st_dev, st.st_ino, st.st_nlink, qint64(st.st_size), st.st_mtim, st.st_ctim};
    }
    bool sameEntry(const struct stat &st) const { return st.st_dev == device && st.st_ino == inode; }
    // Still as it was copied, judged from the source alone. ownLinkRemoved:
    // another name of it was removed by us, which moves its change time on.
    bool unchanged(const struct stat &st, bool ownLinkRemoved = false) const;
};

// Whether a copy's modification time is the source's as far as the copy's
// volume can keep it (ns; 100 ns NTFS and SMB; 10 ms exFAT; 1 s ext4 with
// small inodes; 2 s FAT), rounded either way.
bool sameTimeAsKept(const struct timespec &source, const struct timespec &copy);

// Where a target is made, or a source is read: relative to the descriptor
// of the folder being filled (or read), so that no name above it is looked
// up again; else by full path.
struct TargetRef
{
    int dirFd = AT_FDCWD;
    QByteArray name;
    QByteArray sibling(const QByteArray &leaf) const
    {
        return dirFd == AT_FDCWD ? FsUtil::joinPath(FsUtil::parentOf(name), leaf) : leaf;
    }
};

using SourceRef = TargetRef;

// A complete copy waiting for its name: an unnamed file (O_TMPFILE), a
// temporary name in the target folder, or the copy it is another link of.
struct Staged
{
    int fd = -1;
    QByteArray tempName; // relative like TargetRef::name
    QByteArray linkFrom; // full path
    struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}}; // what the copy was given
};

// What a copy could not keep at its target, said once per kind.
enum class Note { Owner, ExtendedAttributes, HardLinks };

// What every Copier of one job shares. The capability flags start true and
// are cleared by whichever thread finds a file system without the feature.
struct CopyShared
{
    CopyShared(const EngineTestSettings &settings, const std::atomic_bool &userCancel)
        : testing(settings)
        , cancelFlag(userCancel)
    { }

    const EngineTestSettings &testing;
    const std::atomic_bool &cancelFlag; // the user's Cancel
    std::atomic_bool stop {false}; // the job is over (cancelled or failed): workers leave off
    bool moving = false; // set before any copy starts
    bool verify = false; // each copy is read back from the medium before it is named (set before any copy starts)

    std::atomic_bool cloneWorks {true};
    std::atomic_bool copyRangeWorks {true};
    // Unnamed files need /proc to be given a name (linkat of /proc/self/fd/N).
    std::atomic_bool unnamedFilesWork {fsys().access("/proc/self/fd", X_OK) == 0};
    std::atomic_bool emptyPathLinkWorks {true};
    // A new file gets the mode it was created with less the umask, so a
    // copy whose mode that already is needs no chmod. Cleared (by the
    // job's thread, before it hands out a file for such a folder) when a
    // target folder has a default ACL, which decides the mode instead.
    std::atomic_bool modeFromUmask {true};

    // What every copier of the job has written and the device not yet
    // stored, bounded together (its size a test may set).
    WriteBackWindow window {testing.writeBackBytes > 0 ? testing.writeBackBytes : DirtyLimitBytes,
                            [this] { return cancelled(); }};
    // Bytes the copy workers copied of files not yet taken back, shown as
    // progress while the job's thread waits for them.
    std::atomic<qint64> workerBytes {0};
    // Bytes read back from the medium so far, and how many copiers are reading back now.
    std::atomic<qint64> verifiedBytes {0};
    std::atomic_int verifying {0};
    // Set by every read-back, cleared by the report that shows it: a
    // read-back that began and ended between two reports still shows.
    std::atomic_bool verifiedSinceReport {false};

    const uid_t euid = geteuid();
    const mode_t umask = currentUmask();

    bool cancelled() const
    {
        return stop.load(std::memory_order_relaxed) || cancelFlag.load(std::memory_order_relaxed);
    }
    // Short, hidden and unique: the real name may already be near NAME_MAX.
    QByteArray temporaryLeaf() { return m_tempPrefix + QByteArray::number(++m_tempCounter) + ".part"; }
    // Test points are called one at a time, whichever thread reaches them.
    void testPoint(const char *point, const QByteArray &path)
    {
        if (!testing.hook)
            return;
        std::lock_guard<std::mutex> lock(m_hookMutex);
        testing.hook(point, path);
    }

    // The umask of the process, read without changing it.
    static mode_t currentUmask();

private:
    std::atomic<quint64> m_tempCounter {0};
    const QByteArray m_tempPrefix = ".korvan-" + QByteArray::number(qint64(getpid())) + '-';
    std::mutex m_hookMutex;
};

// A file's copy whose data is all written, not yet verified nor given its
// mode and times (Copier::writeFile, finishFile): a copy worker writes a
// batch of small files this way before it reads any of them back.
struct WrittenFile
{
    int srcFd = -1; // open until closeWritten
    struct stat st = {};
    QByteArray src;
    QByteArray dst;
    qint64 copied = 0;
    bool readyToReadBack = false; // stored and dropped from the cache (prepareReadBack)
};

struct ReadBack;
struct ReadBackDeleter
{
    void operator()(ReadBack *readBack) const;
};

class Copier
{
public:
    // bytesDone: told the bytes after each chunk, for the job's progress.
    // What it writes takes room in the job's write-back window first.
    Copier(CopyShared &shared, std::function<void(qint64)> bytesDone = {})
        : m_shared(shared)
        , m_writeBack(shared.window)
        , m_bytesDone(std::move(bytesDone))
    { }

    // Copies the regular file src (found at from) into a staged copy for
    // ref (the target dst): contents, mode, times; on a move also owner and
    // attributes. Returns 0 or an errno; failedPath() tells which side failed.
    int stageFile(const QByteArray &src, const SourceRef &from, const QByteArray &dst, const TargetRef &ref,
                  Staged *staged, SourceState *state);
    // stageFile in two steps: the data written, then (once the copies
    // written with it are stored too) verified and given mode and times.
    int writeFile(const QByteArray &src, const SourceRef &from, const QByteArray &dst, const TargetRef &ref,
                  Staged *staged, SourceState *state, WrittenFile *written);
    int finishFile(Staged *staged, WrittenFile *written);
    static void closeWritten(WrittenFile *written);
    // Between the two when verifying: the write-back of a written copy is
    // started; later it is waited for, the copy dropped from the cache and
    // read ahead from the medium (0 or the errno of the copy).
    static void startStoring(int dstFd);
    static int prepareReadBack(const Staged &staged, WrittenFile *written);
    bool verifying() const { return m_shared.verify; }
    // /proc/self/fd/N, for the test points.
    static QByteArray descriptorPath(int fd);

    int stageLink(const QByteArray &src, const SourceRef &from, const QByteArray &dst, const TargetRef &ref,
                  const struct stat &srcSt, Staged *staged);
    // Gives the staged copy its final name, never replacing one (EEXIST).
    int publishStaged(const TargetRef &ref, Staged *staged);
    // Closes the staged copy; removes its temporary name if it still has one.
    // published: the copy was named and is to reach the device.
    void discardStaged(const TargetRef &ref, Staged *staged, bool published = false);

    // The path the last failed step was about, and a reason of our own for it.
    const QByteArray &failedPath() const { return m_failedPath; }
    const QString &failReason() const { return m_failReason; }
    void clearFailure()
    {
        m_failedPath.clear();
        m_failReason.clear();
    }
    void setFailReason(const QString &reason) { m_failReason = reason; }
    // What this copier could not keep since the last call, taken over by the job.
    QList<QPair<Note, QByteArray>> takeNotes() { return std::exchange(m_notes, {}); }

    // What a move keeps of its source besides the contents (also for folders).
    void keepOwner(int fd, const struct stat &srcSt, const QByteArray &dst);
    void keepExtendedAttributes(int srcFd, int dstFd, const QByteArray &dst);

    // The job is over (cancelled or failed): a worker leaves off.
    bool stopped() const { return m_shared.cancelled(); }
    void testPoint(const char *point, const QByteArray &path) { m_shared.testPoint(point, path); }
    // Whether a test listens at the hook points: what only a test reads is made only then.
    bool hooked() const { return bool(m_shared.testing.hook); }

private:
    // The copy's file, without a name (O_TMPFILE) or under a temporary one; 0 or the errno.
    int openStaged(const TargetRef &ref, const QByteArray &dst, mode_t createMode, Staged *staged);
    int copyContents(int srcFd, int dstFd, const struct stat &st, qint64 *copied, bool *atTarget);
    int copySparse(int srcFd, int dstFd, qint64 *copied, bool *atTarget);
    // length -1: to the end of the file. expected: where the file should end
    // (0: unknown, e.g. /proc files, so it is read to its end).
    int copyRange(int srcFd, int dstFd, off_t from, qint64 length, qint64 expected, qint64 *copied, bool *atTarget);
    // The rest of copyRange by pread/pwrite, from *copied on.
    int copyByReading(int srcFd, int dstFd, off_t from, qint64 length, qint64 *copied, bool *atTarget);
    // Room in the write-back window for n bytes about to be written to
    // dstFd; false when the copy is to stop.
    bool roomFor(int dstFd, qint64 n) { return m_writeBack.reserve(dstFd, n); }
    // n bytes at offset of dstFd were written; false when the copy is to stop.
    bool chunkWritten(int dstFd, qint64 offset, qint64 n);
    // Verification (file_op_verify_linux.cpp): the read-back of a copy from
    // srcFd starts; while it is copied its stored parts well behind what
    // was written are read back; once complete the rest is stored, dropped
    // from the cache, read back, and all is compared with the source by
    // XXH3-128: EIO with our reason when they differ. *atTarget: the error
    // is the copy's.
    void beginReadBack(int srcFd);
    void readBackBehind(int dstFd, qint64 written);
    // stored: prepareReadBack did the storing and dropping already.
    int verifyStored(int dstFd, qint64 length, bool stored, bool *atTarget);
    // Reads both files up to to, hashing; 0, an errno of the source, or
    // minus one of the copy. dropped: its cached pages are dropped already.
    int readBackRange(int dstFd, qint64 to, bool dropped = false);
    void keepTimesAfterRename(const Staged *staged);
    void note(Note kind, const QByteArray &path) { m_notes.append({kind, path}); }
    int failAt(const QByteArray &path, int errorCode)
    {
        m_failedPath = path;
        return errorCode;
    }

    CopyShared &m_shared;
    WriteBack m_writeBack;
    std::function<void(qint64)> m_bytesDone;
    QByteArray m_failedPath;
    QString m_failReason;
    QList<QPair<Note, QByteArray>> m_notes;
    QByteArray m_buffer;
    std::unique_ptr<ReadBack, ReadBackDeleter> m_readBack; // while a copy is verified
    QByteArray m_currentSource; // for the test points
};

} // namespace EngineJob
