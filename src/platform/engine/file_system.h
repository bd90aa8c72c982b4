#pragma once

// The engine's one way to the file system. Every call the engine, the trash
// and their helpers make on files goes through a FileSystem, so their rules
// (walk order, clashes, staging, rollback, notes) sit above it and a second
// platform implements this interface instead of rewriting them. The calls
// keep the shape of the system calls they stand for: -1 (or nullptr) with
// errno set on failure. Implementations are used by several threads at once
// (the copy workers) and must be thread-safe.
//
// Which FileSystem is used is chosen per operation: the Linux one unless
// the operation's test settings give another (a test wrapper that fails or
// stops at a chosen call). FileSystemScope installs it for the threads of
// one operation; fsys() is what code on such a thread calls.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>

class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // Opening and closing.
    virtual int open(const char *path, int flags, mode_t mode) = 0;
    virtual int openat(int dirFd, const char *name, int flags, mode_t mode) = 0;
    int open(const char *path, int flags) { return open(path, flags, 0); }
    int openat(int dirFd, const char *name, int flags) { return openat(dirFd, name, flags, 0); }
    virtual int close(int fd) = 0;
    virtual int dup(int fd) = 0;
    virtual int fcntl(int fd, int command, int argument) = 0;

    // Data.
    virtual ssize_t read(int fd, void *buffer, size_t count) = 0;
    virtual ssize_t write(int fd, const void *buffer, size_t count) = 0;
    virtual ssize_t pread(int fd, void *buffer, size_t count, off_t offset) = 0;
    virtual ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset) = 0;
    virtual off_t lseek(int fd, off_t offset, int whence) = 0;
    virtual int ftruncate(int fd, off_t length) = 0;
    virtual ssize_t copy_file_range(int inFd, off_t *inOffset, int outFd, off_t *outOffset, size_t length,
                                    unsigned int flags)
        = 0;
    // The few ioctls the engine uses (a clone, the folder's flags).
    virtual int ioctl(int fd, unsigned long request, void *argument) = 0;
    int ioctl(int fd, unsigned long request, int argument) { return ioctl(fd, request, (void *)(long)argument); }
    virtual int posix_fadvise(int fd, off_t offset, off_t length, int advice) = 0;

    // What an entry is.
    virtual int fstat(int fd, struct stat *st) = 0;
    virtual int fstatat(int dirFd, const char *name, struct stat *st, int flags) = 0;
    virtual int lstat(const char *path, struct stat *st) = 0;
    virtual int stat(const char *path, struct stat *st) = 0;
    virtual int access(const char *path, int mode) = 0;
    virtual ssize_t readlink(const char *path, char *buffer, size_t size) = 0;
    virtual ssize_t readlinkat(int dirFd, const char *name, char *buffer, size_t size) = 0;
    // malloc'd like realpath(3).
    virtual char *realpath(const char *path, char *resolved) = 0;
    virtual int statfs(const char *path, struct statfs *st) = 0;
    virtual int statvfs(const char *path, struct statvfs *st) = 0;

    // Names.
    virtual int mkdir(const char *path, mode_t mode) = 0;
    virtual int mkdirat(int dirFd, const char *name, mode_t mode) = 0;
    virtual int rmdir(const char *path) = 0;
    virtual int unlink(const char *path) = 0;
    virtual int unlinkat(int dirFd, const char *name, int flags) = 0;
    virtual int linkat(int fromDir, const char *from, int toDir, const char *to, int flags) = 0;
    virtual int symlinkat(const char *target, int dirFd, const char *name) = 0;
    virtual int renameat(int fromDir, const char *from, int toDir, const char *to) = 0;
    virtual int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned int flags) = 0;

    // Folders' entries.
    virtual DIR *fdopendir(int fd) = 0;
    // nullptr at the end (errno unchanged) or on failure (errno set).
    virtual dirent *readdir(DIR *dir) = 0;
    virtual void rewinddir(DIR *dir) = 0;
    virtual int closedir(DIR *dir) = 0;

    // Metadata.
    virtual int fchmod(int fd, mode_t mode) = 0;
    virtual int fchown(int fd, uid_t owner, gid_t group) = 0;
    virtual int fchownat(int dirFd, const char *name, uid_t owner, gid_t group, int flags) = 0;
    virtual int futimens(int fd, const struct timespec times[2]) = 0;
    virtual int utimensat(int dirFd, const char *name, const struct timespec times[2], int flags) = 0;
    virtual ssize_t flistxattr(int fd, char *list, size_t size) = 0;
    virtual ssize_t fgetxattr(int fd, const char *name, void *value, size_t size) = 0;
    virtual int fsetxattr(int fd, const char *name, const void *value, size_t size, int flags) = 0;

    // Reaching the device.
    virtual int fsync(int fd) = 0;
    virtual int syncfs(int fd) = 0;
    virtual int sync_file_range(int fd, off_t offset, off_t length, unsigned int flags) = 0;
};

// Today's code: the Linux system calls themselves.
FileSystem &linuxFileSystem();

// The FileSystem of the operation running on this thread (the Linux one
// outside any operation).
FileSystem &fsys();

// Installs a FileSystem for this thread while it lives (nullptr: the Linux one).
class FileSystemScope
{
public:
    explicit FileSystemScope(FileSystem *fileSystem);
    ~FileSystemScope();
    FileSystemScope(const FileSystemScope &) = delete;
    FileSystemScope &operator=(const FileSystemScope &) = delete;

private:
    FileSystem *m_previous;
};
