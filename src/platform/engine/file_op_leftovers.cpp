// What killed runs leave behind (see file_op_job.h): hidden staging
// folders and temporaries named .korvan-<pid>-<n>.part are removed from a
// folder before an operation first writes into it, when they are ours and
// their process is gone; and a rerun of a move does not send the copies a
// killed run had already put in place to the trash.
#include "platform/engine/file_op_job.h"
#include "platform/engine/file_system.h"

#include <cerrno>

using namespace FsUtil;

namespace EngineJob {

void Job::removeAbandonedIn(const QByteArray &folder)
{
    const int fd = fsys().open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    removeAbandonedAt(fd);
    fsys().close(fd);
}

void Job::removeAbandonedAt(int dirFd)
{
    struct stat folderSt;
    if (fsys().fstat(dirFd, &folderSt) != 0 || m_leftoversChecked.contains({folderSt.st_dev, folderSt.st_ino}))
        return;
    m_leftoversChecked.insert({folderSt.st_dev, folderSt.st_ino});
    QList<QByteArray> names;
    int err = 0;
    if (!listDirAt(dirFd, &names, &err))
        return;
    for (const QByteArray &name : std::as_const(names)) {
        const pid_t pid = leftoverPid(name);
        struct stat st;
        if (pid == 0 || fsys().fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != m_euid
            || !processGone(pid))
            continue;
        // A killed move's staging folder holds copies only: every source
        // stays until its copy is in place outside it.
        if (S_ISDIR(st.st_mode))
            removeTreeAt(dirFd, name);
        else
            fsys().unlinkat(dirFd, name.constData(), 0);
    }
}

bool Job::sameContents(const QByteArray &a, const struct stat &aSt, const QByteArray &b, const struct stat &bSt)
{
    if (!S_ISREG(aSt.st_mode) || !S_ISREG(bSt.st_mode) || aSt.st_size != bSt.st_size
        || (aSt.st_mode & 07777) != (bSt.st_mode & 07777) || aSt.st_mtim.tv_sec != bSt.st_mtim.tv_sec
        || aSt.st_mtim.tv_nsec != bSt.st_mtim.tv_nsec)
        return false;
    const int aFd = fsys().open(a.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const int bFd = fsys().open(b.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    bool same = aFd >= 0 && bFd >= 0;
    QByteArray aData(int(ReadWriteBufferBytes), Qt::Uninitialized);
    QByteArray bData(int(ReadWriteBufferBytes), Qt::Uninitialized);
    for (off_t at = 0; same;) {
        const ssize_t n = fsys().pread(aFd, aData.data(), size_t(aData.size()), at);
        const ssize_t m = n > 0 ? fsys().pread(bFd, bData.data(), size_t(n), at) : n;
        if (n < 0 || m != n || memcmp(aData.constData(), bData.constData(), size_t(n)) != 0)
            same = false;
        if (n <= 0)
            break;
        at += n;
    }
    if (aFd >= 0)
        fsys().close(aFd);
    if (bFd >= 0)
        fsys().close(bFd);
    return same;
}

} // namespace EngineJob
