#pragma once

// A FileSystem for the fault sweep: it passes every call on to the Linux
// one and counts them; armed, it fails the k-th call with the error that
// call most plausibly meets, or ends the process there as a kill would.
// It can also take one folder to be on another volume, so that a move out
// of it is a cross-volume move on a single tmpfs.

#include "platform/engine/file_system.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <unistd.h>

class FaultFileSystem final : public FileSystem
{
public:
    enum class Mode { Count, Fail, Interrupt, Kill };
    // The status of a child ended at the armed call.
    static constexpr int KilledStatus = 77;

    // From the next call on: count only, or act at call number k (from 1).
    void arm(Mode mode, long k)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_mode = mode;
        m_target = k;
        m_calls = 0;
        m_hit = nullptr;
        m_names.clear();
    }
    long calls() const { return m_calls; }
    // The name of every call made since arm(), in order.
    QList<const char *> names() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_names;
    }
    // The call that was failed (nullptr: none was reached).
    const char *hit() const { return m_hit; }
    // Renames by path out of this folder give EXDEV, as between two volumes.
    void setOtherVolume(const QByteArray &folder) { m_otherVolume = folder + '/'; }
    // As a volume without unnamed files (O_TMPFILE gives EOPNOTSUPP), such as FAT.
    void setUnnamedFiles(bool work) { m_unnamedFiles = work; }
    // Called with the name of every call before it is made, from the thread
    // making it (set before the operation starts).
    void setOnCall(std::function<void(const char *)> onCall) { m_onCall = std::move(onCall); }
    // Reading the file whose path ends with name fails with EIO from offset
    // from on, every time, as a bad sector would.
    void setBadSector(const QByteArray &name, off_t from)
    {
        m_badFile = name;
        m_badFrom = from;
    }

    // Calls whose EINTR the engine must retry by itself.
    static bool retriesInterrupt(const char *name)
    {
        for (const char *retried : {"read", "write", "pread", "pwrite", "copy_file_range"}) {
            if (strcmp(name, retried) == 0)
                return true;
        }
        return false;
    }

    using FileSystem::ioctl;
    using FileSystem::open;
    using FileSystem::openat;

    int open(const char *path, int flags, mode_t mode) override
    {
        return enter("open", creating(flags)) || refusedUnnamed(flags) ? -1 : real().open(path, flags, mode);
    }
    int openat(int dirFd, const char *name, int flags, mode_t mode) override
    {
        return enter("openat", creating(flags)) || refusedUnnamed(flags) ? -1 : real().openat(dirFd, name, flags, mode);
    }
    int close(int fd) override
    {
        // Linux closes the descriptor even when it reports an error.
        const int result = real().close(fd);
        return enter("close", EIO) ? -1 : result;
    }
    int dup(int fd) override { return enter("dup", EMFILE) ? -1 : real().dup(fd); }
    int fcntl(int fd, int command, int argument) override
    {
        return enter("fcntl", EMFILE) ? -1 : real().fcntl(fd, command, argument);
    }
    ssize_t read(int fd, void *buffer, size_t count) override
    {
        return enter("read", EIO) ? -1 : real().read(fd, buffer, count);
    }
    ssize_t write(int fd, const void *buffer, size_t count) override
    {
        return enter("write", full()) ? -1 : real().write(fd, buffer, count);
    }
    ssize_t pread(int fd, void *buffer, size_t count, off_t offset) override
    {
        if (enter("pread", EIO) || badSector(fd, offset))
            return -1;
        return real().pread(fd, buffer, count, offset);
    }
    ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset) override
    {
        return enter("pwrite", full()) ? -1 : real().pwrite(fd, buffer, count, offset);
    }
    off_t lseek(int fd, off_t offset, int whence) override
    {
        return enter("lseek", EIO) ? -1 : real().lseek(fd, offset, whence);
    }
    int ftruncate(int fd, off_t length) override
    {
        return enter("ftruncate", full()) ? -1 : real().ftruncate(fd, length);
    }
    ssize_t copy_file_range(int inFd, off_t *inOffset, int outFd, off_t *outOffset, size_t length,
                            unsigned int flags) override
    {
        if (enter("copy_file_range", full()) || (inOffset && badSector(inFd, *inOffset)))
            return -1;
        return real().copy_file_range(inFd, inOffset, outFd, outOffset, length, flags);
    }
    int ioctl(int fd, unsigned long request, void *argument) override
    {
        return enter("ioctl", EIO) ? -1 : real().ioctl(fd, request, argument);
    }
    int posix_fadvise(int fd, off_t offset, off_t length, int advice) override
    {
        return enter("posix_fadvise", EINVAL) ? -1 : real().posix_fadvise(fd, offset, length, advice);
    }
    int fstat(int fd, struct stat *st) override { return enter("fstat", EIO) ? -1 : real().fstat(fd, st); }
    int fstatat(int dirFd, const char *name, struct stat *st, int flags) override
    {
        return enter("fstatat", EACCES) ? -1 : real().fstatat(dirFd, name, st, flags);
    }
    int lstat(const char *path, struct stat *st) override
    {
        return enter("lstat", EACCES) ? -1 : real().lstat(path, st);
    }
    int stat(const char *path, struct stat *st) override { return enter("stat", EACCES) ? -1 : real().stat(path, st); }
    int access(const char *path, int mode) override { return enter("access", EROFS) ? -1 : real().access(path, mode); }
    ssize_t readlink(const char *path, char *buffer, size_t size) override
    {
        return enter("readlink", EIO) ? -1 : real().readlink(path, buffer, size);
    }
    ssize_t readlinkat(int dirFd, const char *name, char *buffer, size_t size) override
    {
        return enter("readlinkat", EIO) ? -1 : real().readlinkat(dirFd, name, buffer, size);
    }
    char *realpath(const char *path, char *resolved) override
    {
        return enter("realpath", EACCES) ? nullptr : real().realpath(path, resolved);
    }
    int statfs(const char *path, struct statfs *st) override
    {
        return enter("statfs", EIO) ? -1 : real().statfs(path, st);
    }
    int statvfs(const char *path, struct statvfs *st) override
    {
        return enter("statvfs", EIO) ? -1 : real().statvfs(path, st);
    }
    int mkdir(const char *path, mode_t mode) override { return enter("mkdir", full()) ? -1 : real().mkdir(path, mode); }
    int mkdirat(int dirFd, const char *name, mode_t mode) override
    {
        return enter("mkdirat", full()) ? -1 : real().mkdirat(dirFd, name, mode);
    }
    int rmdir(const char *path) override { return enter("rmdir", EACCES) ? -1 : real().rmdir(path); }
    int unlink(const char *path) override { return enter("unlink", EACCES) ? -1 : real().unlink(path); }
    int unlinkat(int dirFd, const char *name, int flags) override
    {
        return enter("unlinkat", EROFS) ? -1 : real().unlinkat(dirFd, name, flags);
    }
    int linkat(int fromDir, const char *from, int toDir, const char *to, int flags) override
    {
        return enter("linkat", full()) ? -1 : real().linkat(fromDir, from, toDir, to, flags);
    }
    int symlinkat(const char *target, int dirFd, const char *name) override
    {
        return enter("symlinkat", full()) ? -1 : real().symlinkat(target, dirFd, name);
    }
    int renameat(int fromDir, const char *from, int toDir, const char *to) override
    {
        if (enter("renameat", full()) || crossing(fromDir, from))
            return -1;
        return real().renameat(fromDir, from, toDir, to);
    }
    int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned int flags) override
    {
        if (enter("renameat2", full()) || crossing(fromDir, from))
            return -1;
        return real().renameat2(fromDir, from, toDir, to, flags);
    }
    DIR *fdopendir(int fd) override { return enter("fdopendir", EMFILE) ? nullptr : real().fdopendir(fd); }
    dirent *readdir(DIR *dir) override { return enter("readdir", EIO) ? nullptr : real().readdir(dir); }
    void rewinddir(DIR *dir) override
    {
        enter("rewinddir", 0);
        real().rewinddir(dir);
    }
    int closedir(DIR *dir) override
    {
        const int result = real().closedir(dir);
        return enter("closedir", EIO) ? -1 : result;
    }
    int fchmod(int fd, mode_t mode) override { return enter("fchmod", EROFS) ? -1 : real().fchmod(fd, mode); }
    int fchown(int fd, uid_t owner, gid_t group) override
    {
        return enter("fchown", EROFS) ? -1 : real().fchown(fd, owner, group);
    }
    int fchownat(int dirFd, const char *name, uid_t owner, gid_t group, int flags) override
    {
        return enter("fchownat", EROFS) ? -1 : real().fchownat(dirFd, name, owner, group, flags);
    }
    int futimens(int fd, const struct timespec times[2]) override
    {
        return enter("futimens", EROFS) ? -1 : real().futimens(fd, times);
    }
    int utimensat(int dirFd, const char *name, const struct timespec times[2], int flags) override
    {
        return enter("utimensat", EROFS) ? -1 : real().utimensat(dirFd, name, times, flags);
    }
    ssize_t flistxattr(int fd, char *list, size_t size) override
    {
        return enter("flistxattr", EIO) ? -1 : real().flistxattr(fd, list, size);
    }
    ssize_t fgetxattr(int fd, const char *name, void *value, size_t size) override
    {
        return enter("fgetxattr", EIO) ? -1 : real().fgetxattr(fd, name, value, size);
    }
    int fsetxattr(int fd, const char *name, const void *value, size_t size, int flags) override
    {
        return enter("fsetxattr", full()) ? -1 : real().fsetxattr(fd, name, value, size, flags);
    }
    int fsync(int fd) override { return enter("fsync", EIO) ? -1 : real().fsync(fd); }
    int syncfs(int fd) override { return enter("syncfs", EIO) ? -1 : real().syncfs(fd); }
    int sync_file_range(int fd, off_t offset, off_t length, unsigned int flags) override
    {
        return enter("sync_file_range", EIO) ? -1 : real().sync_file_range(fd, offset, length, flags);
    }

private:
    static FileSystem &real() { return linuxFileSystem(); }
    // No room: the volume full or the user's quota used up, in turn.
    int full() const { return m_target % 2 == 0 ? ENOSPC : EDQUOT; }
    int creating(int flags) const { return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? full() : EACCES; }

    // Counts the call; true when it is the one to fail (errno set). A kill
    // ends the process here, with no clean-up.
    bool enter(const char *name, int error)
    {
        if (m_onCall)
            m_onCall(name);
        long number = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            number = ++m_calls;
            if (m_mode == Mode::Count)
                m_names.append(name);
        }
        if (number != m_target || m_mode == Mode::Count)
            return false;
        // Only the calls that may be interrupted so are (with copy workers
        // the k-th call need not be the one counted in a clean run).
        if (m_mode == Mode::Interrupt && !retriesInterrupt(name))
            return false;
        m_hit = name;
        if (m_mode == Mode::Kill)
            _exit(KilledStatus);
        if (error == 0)
            return false;
        errno = m_mode == Mode::Interrupt ? EINTR : error;
        return true;
    }

    bool refusedUnnamed(int flags) const
    {
        if (m_unnamedFiles || (flags & O_TMPFILE) != O_TMPFILE)
            return false;
        errno = EOPNOTSUPP;
        return true;
    }

    bool crossing(int fromDir, const char *from)
    {
        if (m_otherVolume.isEmpty() || fromDir != AT_FDCWD || !QByteArray(from).startsWith(m_otherVolume))
            return false;
        errno = EXDEV;
        return true;
    }

    bool badSector(int fd, off_t offset) const
    {
        if (m_badFile.isEmpty() || offset < m_badFrom)
            return false;
        char path[4096];
        const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
        const ssize_t n = ::readlink(link.constData(), path, sizeof path);
        if (n <= 0 || !QByteArray(path, int(n)).endsWith(m_badFile))
            return false;
        errno = EIO;
        return true;
    }

    mutable std::mutex m_mutex;
    Mode m_mode = Mode::Count;
    long m_target = 0;
    long m_calls = 0;
    const char *m_hit = nullptr;
    QList<const char *> m_names;
    QByteArray m_otherVolume;
    bool m_unnamedFiles = true;
    std::function<void(const char *)> m_onCall;
    QByteArray m_badFile;
    off_t m_badFrom = 0;
};
