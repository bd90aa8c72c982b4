// The trash's info files, claimed complete and with a trace until their
// item is there (see trash_info.h).
#include "platform/engine/trash_info.h"

#include "platform/engine/file_system.h"
#include "platform/engine/fs_util.h"
#include "platform/engine/trash.h"

#include <QList>
#include <QSet>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

using namespace FsUtil;

namespace TrashInfo {

namespace {

QByteArray temporaryIn(const QByteArray &infoDir)
{
    static std::atomic<quint64> counter {0};
    return infoDir + "/.korvan-" + QByteArray::number(qint64(getpid())) + '-' + QByteArray::number(++counter) + ".part";
}

// Writes content to a new file; 0 or the errno (the file is removed then).
int writeNew(const QByteArray &path, const QByteArray &content, bool sync)
{
    const int fd = fsys().open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    qsizetype written = 0;
    int err = 0;
    while (written < content.size()) {
        const ssize_t n = fsys().write(fd, content.constData() + written, size_t(content.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        written += n;
    }
    if (err == 0 && sync && fsys().fsync(fd) != 0)
        err = errno;
    if (fsys().close(fd) != 0 && err == 0 && errno != EINTR)
        err = errno;
    if (err != 0)
        fsys().unlink(path.constData());
    return err;
}

} // namespace

int claim(const QByteArray &infoDir, const QByteArray &infoName, const QByteArray &content, bool sync,
          QByteArray *pending)
{
    pending->clear();
    QByteArray temporary;
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        temporary = temporaryIn(infoDir);
        err = writeNew(temporary, content, sync);
    }
    if (err != 0)
        return err;
    const QByteArray infoFile = infoDir + '/' + infoName;
    if (fsys().linkat(AT_FDCWD, temporary.constData(), AT_FDCWD, infoFile.constData(), 0) == 0) {
        *pending = temporary;
        return 0;
    }
    if (errno == EEXIST) {
        fsys().unlink(temporary.constData());
        return EEXIST;
    }
    // No hard links here (FAT): the complete file takes the name itself.
    err = renameNoReplace(temporary, infoFile) == 0 ? 0 : errno;
    if (err != 0)
        fsys().unlink(temporary.constData());
    return err;
}

void settle(const QByteArray &pending)
{
    if (!pending.isEmpty())
        fsys().unlink(pending.constData());
}

namespace {
std::mutex g_cleanedMutex;
QSet<QPair<dev_t, ino_t>> g_cleaned; // the info folders looked at since the operation began
} // namespace

void removeAbandoned(const QByteArray &root)
{
    std::mutex &mutex = g_cleanedMutex;
    QSet<QPair<dev_t, ino_t>> &done = g_cleaned;
    const QByteArray infoDir = root + "/info";
    const int dirFd = fsys().open(infoDir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    struct stat dirSt;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (fsys().fstat(dirFd, &dirSt) != 0 || done.contains({dirSt.st_dev, dirSt.st_ino})) {
            fsys().close(dirFd);
            return;
        }
        done.insert({dirSt.st_dev, dirSt.st_ino});
    }
    QList<QByteArray> names;
    if (DIR *dir = fsys().fdopendir(fsys().dup(dirFd))) {
        while (const dirent *entry = fsys().readdir(dir))
            names.append(entry->d_name);
        fsys().closedir(dir);
    }
    const uid_t euid = geteuid();
    for (const QByteArray &name : std::as_const(names)) {
        struct stat st;
        const pid_t pid = leftoverPid(name);
        if (pid == 0 || fsys().fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
            || st.st_uid != euid || !processGone(pid))
            continue;
        // Still a second name of a claimed info file: its item never came.
        for (const QByteArray &info : std::as_const(names)) {
            struct stat infoSt;
            if (st.st_nlink < 2 || !info.endsWith(".trashinfo")
                || fsys().fstatat(dirFd, info.constData(), &infoSt, AT_SYMLINK_NOFOLLOW) != 0
                || infoSt.st_ino != st.st_ino || infoSt.st_dev != st.st_dev)
                continue;
            const QByteArray item = root + "/files/" + info.left(info.size() - 10);
            struct stat itemSt;
            if (fsys().lstat(item.constData(), &itemSt) != 0 && errno == ENOENT)
                fsys().unlinkat(dirFd, info.constData(), 0);
        }
        fsys().unlinkat(dirFd, name.constData(), 0);
    }
    fsys().close(dirFd);
}

} // namespace TrashInfo

void Trash::lookForLeftoversAgain()
{
    std::lock_guard<std::mutex> lock(TrashInfo::g_cleanedMutex);
    TrashInfo::g_cleaned.clear();
}
