// The Linux FileSystem: each call is the system call of the same name; and
// the choice of FileSystem per operation and thread (see file_system.h).
#include "platform/engine/file_system.h"

#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

class LinuxFileSystem final : public FileSystem
{
public:
    using FileSystem::ioctl;
    using FileSystem::open;
    using FileSystem::openat;

    int open(const char *path, int flags, mode_t mode) override { return ::open(path, flags, mode); }
    int openat(int dirFd, const char *name, int flags, mode_t mode) override
    {
        return ::openat(dirFd, name, flags, mode);
    }
    int close(int fd) override { return ::close(fd); }
    int dup(int fd) override { return ::dup(fd); }
    int fcntl(int fd, int command, int argument) override { return ::fcntl(fd, command, argument); }

    ssize_t read(int fd, void *buffer, size_t count) override { return ::read(fd, buffer, count); }
    ssize_t write(int fd, const void *buffer, size_t count) override { return ::write(fd, buffer, count); }
    ssize_t pread(int fd, void *buffer, size_t count, off_t offset) override
    {
        return ::pread(fd, buffer, count, offset);
    }
    ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset) override
    {
        return ::pwrite(fd, buffer, count, offset);
    }
    off_t lseek(int fd, off_t offset, int whence) override { return ::lseek(fd, offset, whence); }
    int ftruncate(int fd, off_t length) override { return ::ftruncate(fd, length); }
    ssize_t copy_file_range(int inFd, off_t *inOffset, int outFd, off_t *outOffset, size_t length,
                            unsigned int flags) override
    {
        return ::copy_file_range(inFd, inOffset, outFd, outOffset, length, flags);
    }
    int ioctl(int fd, unsigned long request, void *argument) override { return ::ioctl(fd, request, argument); }
    int posix_fadvise(int fd, off_t offset, off_t length, int advice) override
    {
        // Returns the error instead of setting errno.
        const int error = ::posix_fadvise(fd, offset, length, advice);
        if (error == 0)
            return 0;
        errno = error;
        return -1;
    }

    int fstat(int fd, struct stat *st) override { return ::fstat(fd, st); }
    int fstatat(int dirFd, const char *name, struct stat *st, int flags) override
    {
        return ::fstatat(dirFd, name, st, flags);
    }
    int lstat(const char *path, struct stat *st) override { return ::lstat(path, st); }
    int stat(const char *path, struct stat *st) override { return ::stat(path, st); }
    int access(const char *path, int mode) override { return ::access(path, mode); }
    ssize_t readlink(const char *path, char *buffer, size_t size) override { return ::readlink(path, buffer, size); }
    ssize_t readlinkat(int dirFd, const char *name, char *buffer, size_t size) override
    {
        return ::readlinkat(dirFd, name, buffer, size);
    }
    char *realpath(const char *path, char *resolved) override { return ::realpath(path, resolved); }
    int statfs(const char *path, struct statfs *st) override { return ::statfs(path, st); }
    int statvfs(const char *path, struct statvfs *st) override { return ::statvfs(path, st); }

    int mkdir(const char *path, mode_t mode) override { return ::mkdir(path, mode); }
    int mkdirat(int dirFd, const char *name, mode_t mode) override { return ::mkdirat(dirFd, name, mode); }
    int rmdir(const char *path) override { return ::rmdir(path); }
    int unlink(const char *path) override { return ::unlink(path); }
    int unlinkat(int dirFd, const char *name, int flags) override { return ::unlinkat(dirFd, name, flags); }
    int linkat(int fromDir, const char *from, int toDir, const char *to, int flags) override
    {
        return ::linkat(fromDir, from, toDir, to, flags);
    }
    int symlinkat(const char *target, int dirFd, const char *name) override { return ::symlinkat(target, dirFd, name); }
    int renameat(int fromDir, const char *from, int toDir, const char *to) override
    {
        return ::renameat(fromDir, from, toDir, to);
    }
    int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned int flags) override
    {
        return ::renameat2(fromDir, from, toDir, to, flags);
    }

    DIR *fdopendir(int fd) override { return ::fdopendir(fd); }
    dirent *readdir(DIR *dir) override { return ::readdir(dir); }
    void rewinddir(DIR *dir) override { ::rewinddir(dir); }
    int closedir(DIR *dir) override { return ::closedir(dir); }

    int fchmod(int fd, mode_t mode) override { return ::fchmod(fd, mode); }
    int fchown(int fd, uid_t owner, gid_t group) override { return ::fchown(fd, owner, group); }
    int fchownat(int dirFd, const char *name, uid_t owner, gid_t group, int flags) override
    {
        return ::fchownat(dirFd, name, owner, group, flags);
    }
    int futimens(int fd, const struct timespec times[2]) override { return ::futimens(fd, times); }
    int utimensat(int dirFd, const char *name, const struct timespec times[2], int flags) override
    {
        return ::utimensat(dirFd, name, times, flags);
    }
    ssize_t flistxattr(int fd, char *list, size_t size) override { return ::flistxattr(fd, list, size); }
    ssize_t fgetxattr(int fd, const char *name, void *value, size_t size) override
    {
        return ::fgetxattr(fd, name, value, size);
    }
    int fsetxattr(int fd, const char *name, const void *value, size_t size, int flags) override
    {
        return ::fsetxattr(fd, name, value, size, flags);
    }

    int fsync(int fd) override { return ::fsync(fd); }
    int syncfs(int fd) override { return ::syncfs(fd); }
    int sync_file_range(int fd, off_t offset, off_t length, unsigned int flags) override
    {
        return ::sync_file_range(fd, offset, length, flags);
    }
};

thread_local FileSystem *t_current = nullptr;

} // namespace

FileSystem &linuxFileSystem()
{
    static LinuxFileSystem instance;
    return instance;
}

FileSystem &fsys()
{
    return t_current ? *t_current : linuxFileSystem();
}

FileSystemScope::FileSystemScope(FileSystem *fileSystem)
    : m_previous(t_current)
{
    t_current = fileSystem;
}

FileSystemScope::~FileSystemScope()
{
    t_current = m_previous;
}
