// Phase 2 of a job (see file_op_job.h): a file or link is made complete
// under no name (or a temporary one), then given its final name, never
// replacing one. Runs on the job's thread and on its copy workers.
#include "platform/engine/file_op_copier.h"
#include "platform/engine/file_system.h"

#include "platform/engine/engine_texts.h"

#include <QFile>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <sys/xattr.h>

using namespace FsUtil;

namespace EngineJob {

namespace {

// rename() relative to one folder that fails with EEXIST instead of
// replacing; returns 0 or the errno.
int renameNoReplaceAt(int dirFd, const QByteArray &from, const QByteArray &to)
{
#ifdef RENAME_NOREPLACE
    if (fsys().renameat2(dirFd, from.constData(), dirFd, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    // No RENAME_NOREPLACE here: a second link refuses an existing name just as well.
    if (fsys().linkat(dirFd, from.constData(), dirFd, to.constData(), 0) == 0) {
        fsys().unlinkat(dirFd, from.constData(), 0);
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    struct stat st;
    if (fsys().fstatat(dirFd, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return fsys().renameat(dirFd, from.constData(), dirFd, to.constData()) == 0 ? 0 : errno;
}

} // namespace

bool SourceState::unchanged(const struct stat &st, bool ownLinkRemoved) const
{
    const auto same = [](const struct timespec &a, const struct timespec &b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    if (!sameEntry(st) || !same(st.st_mtim, modified))
        return false;
    if (!ownLinkRemoved && !same(st.st_ctim, changed))
        return false;
    return !S_ISREG(st.st_mode) || qint64(st.st_size) == size;
}

bool sameTimeAsKept(const struct timespec &source, const struct timespec &copy)
{
    constexpr qint64 Steps[] = {1, 100, 10'000'000, 1'000'000'000, 2'000'000'000};
    const qint64 from = qint64(source.tv_sec) * 1'000'000'000 + source.tv_nsec;
    const qint64 kept = qint64(copy.tv_sec) * 1'000'000'000 + copy.tv_nsec;
    for (const qint64 step : Steps) {
        // Floor division, right also before 1970.
        const qint64 down = (from / step - (from % step < 0 ? 1 : 0)) * step;
        if (kept == down || kept == (down == from ? from : down + step))
            return true;
    }
    return false;
}

mode_t CopyShared::currentUmask()
{
    // Reading it with umask() would briefly change it for every thread.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = status.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 022;
}

int Copier::stageFile(const QByteArray &src, const SourceRef &from, const QByteArray &dst, const TargetRef &ref,
                      Staged *staged, SourceState *state)
{
    WrittenFile written;
    int err = writeFile(src, from, dst, ref, staged, state, &written);
    if (err == 0)
        err = finishFile(staged, &written);
    closeWritten(&written);
    return err;
}

void Copier::closeWritten(WrittenFile *written)
{
    if (written->srcFd >= 0)
        fsys().close(written->srcFd);
    written->srcFd = -1;
}

int Copier::openStaged(const TargetRef &ref, const QByteArray &dst, mode_t createMode, Staged *staged)
{
    // Read back before it is named when verifying.
    const int access = m_shared.verify ? O_RDWR : O_WRONLY;
    int dstFd = -1;
    if (m_shared.unnamedFilesWork) {
        // No name at all until it is complete: a kill leaves nothing behind.
        const QByteArray folder = ref.dirFd == AT_FDCWD ? parentOf(ref.name) : QByteArray(".");
        dstFd = fsys().openat(ref.dirFd, folder.constData(), O_TMPFILE | access | O_CLOEXEC, createMode);
        if (dstFd < 0) {
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                return failAt(dst, errno);
            m_shared.unnamedFilesWork = false;
        }
    }
    if (dstFd < 0) {
        staged->tempName = ref.sibling(m_shared.temporaryLeaf());
        dstFd = fsys().openat(ref.dirFd, staged->tempName.constData(), access | O_CREAT | O_EXCL | O_CLOEXEC,
                              createMode);
        if (dstFd < 0) {
            staged->tempName.clear();
            return failAt(dst, errno);
        }
    }
    staged->fd = dstFd;
    return 0;
}

int Copier::writeFile(const QByteArray &src, const SourceRef &from, const QByteArray &dst, const TargetRef &ref,
                      Staged *staged, SourceState *state, WrittenFile *written)
{
    m_currentSource = src;
    m_shared.testPoint("source-checked", src);
    // Non-blocking: a FIFO swapped in after the type check opens at once
    // instead of waiting for a writer, and is refused below.
    const QString &swapped = EngineTexts::SwappedWhileCopying;
    const int srcFd = fsys().openat(from.dirFd, from.name.constData(),
                                    O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (srcFd < 0) {
        if (errno == ELOOP || errno == ENXIO) // a link or a socket now
            m_failReason = swapped;
        return failAt(src, errno);
    }
    // Kept open until the copy is verified and has its metadata (finishFile).
    written->srcFd = srcFd;
    struct stat &st = written->st;
    if (fsys().fstat(srcFd, &st) != 0)
        return failAt(src, errno);
    if (!S_ISREG(st.st_mode)) {
        m_failReason = swapped;
        return failAt(src, EINVAL);
    }
    if (fsys().fcntl(srcFd, F_SETFL, 0) != 0) // clears O_NONBLOCK (the only status flag we set)
        return failAt(src, errno);
    state->device = st.st_dev;
    state->inode = st.st_ino;
    state->links = st.st_nlink;
    state->modified = st.st_mtim;
    state->changed = st.st_ctim;

    if (const int err = openStaged(ref, dst, st.st_mode & 0777, staged))
        return err;
    const int dstFd = staged->fd;

    if (m_shared.verify)
        beginReadBack(srcFd);
    qint64 copied = 0;
    bool atTarget = false;
    if (const int err = copyContents(srcFd, dstFd, st, &copied, &atTarget))
        return failAt(atTarget ? dst : src, err);
    state->size = copied;
    written->copied = copied;
    written->src = src;
    written->dst = dst;
    if (m_shared.testing.hook)
        m_shared.testPoint("copy-complete", descriptorPath(dstFd));
    return 0;
}

int Copier::finishFile(Staged *staged, WrittenFile *written)
{
    const int srcFd = written->srcFd;
    const int dstFd = staged->fd;
    const struct stat &st = written->st;
    const QByteArray &dst = written->dst;
    if (m_shared.verify) {
        if (written->readyToReadBack)
            beginReadBack(srcFd); // the copier read others back since this one was written
        bool atTarget = false;
        if (const int err = verifyStored(dstFd, written->copied, written->readyToReadBack, &atTarget))
            return failAt(atTarget ? dst : written->src, err);
    }

    if (m_shared.moving) {
        keepOwner(dstFd, st, dst);
        keepExtendedAttributes(srcFd, dstFd, dst);
    }
    mode_t mode = st.st_mode & 07777;
    if (mode & (S_ISUID | S_ISGID)) {
        // Like cp: set-id bits only on a copy with the source's owner and group.
        struct stat copySt;
        if (fsys().fstat(dstFd, &copySt) != 0 || copySt.st_uid != st.st_uid || copySt.st_gid != st.st_gid)
            mode &= ~(S_ISUID | S_ISGID);
    }
    const bool modeGiven = m_shared.modeFromUmask.load(std::memory_order_relaxed)
        && mode == (st.st_mode & 0777 & ~m_shared.umask);
    if (!modeGiven && fsys().fchmod(dstFd, mode) != 0)
        return failAt(dst, errno);
    staged->times[0] = st.st_atim;
    staged->times[1] = st.st_mtim;
    if (fsys().futimens(dstFd, staged->times) != 0)
        return failAt(dst, errno);
    return 0;
}

QByteArray Copier::descriptorPath(int fd)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    return path;
}

int Copier::stageLink(const QByteArray &src, const SourceRef &from, const QByteArray &dst, const TargetRef &ref,
                      const struct stat &srcSt, Staged *staged)
{
    QByteArray linkTarget(qsizetype(srcSt.st_size > 0 ? srcSt.st_size : 255) + 1, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = fsys().readlinkat(from.dirFd, from.name.constData(), linkTarget.data(),
                                            size_t(linkTarget.size()));
        if (n < 0)
            return failAt(src, errno);
        if (n < linkTarget.size()) {
            linkTarget.truncate(n);
            break;
        }
        linkTarget.resize(linkTarget.size() * 2);
    }
    const QByteArray temporary = ref.sibling(m_shared.temporaryLeaf());
    if (fsys().symlinkat(linkTarget.constData(), ref.dirFd, temporary.constData()) != 0)
        return failAt(dst, errno);
    staged->tempName = temporary;
    if (m_shared.moving
        && fsys().fchownat(ref.dirFd, temporary.constData(), srcSt.st_uid, srcSt.st_gid, AT_SYMLINK_NOFOLLOW) != 0
        && !(errno == EPERM && m_shared.euid != 0))
        note(Note::Owner, dst);
    const struct timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
    fsys().utimensat(ref.dirFd, temporary.constData(), times, AT_SYMLINK_NOFOLLOW);
    return 0;
}

int Copier::publishStaged(const TargetRef &ref, Staged *staged)
{
    if (!staged->linkFrom.isEmpty()) {
        // Another name of a file copied before: one more link, as in the source.
        if (fsys().linkat(AT_FDCWD, staged->linkFrom.constData(), ref.dirFd, ref.name.constData(), 0) == 0)
            return 0;
        if (errno != ENAMETOOLONG)
            return errno;
        // Deeper than a path reaches: from the first copy's folder, opened a step at a time.
        QByteArray leaf;
        const int fromDir = openFolderOf(staged->linkFrom, &leaf);
        if (fromDir < 0)
            return errno;
        const int err = fsys().linkat(fromDir, leaf.constData(), ref.dirFd, ref.name.constData(), 0) == 0 ? 0 : errno;
        fsys().close(fromDir);
        return err;
    }
    if (staged->tempName.isEmpty()) {
        // The unnamed file gets its name; linkat never replaces an existing one.
        if (m_shared.emptyPathLinkWorks) {
            if (fsys().linkat(staged->fd, "", ref.dirFd, ref.name.constData(), AT_EMPTY_PATH) == 0)
                return 0;
            if (errno != ENOENT && errno != EPERM && errno != EINVAL)
                return errno;
            m_shared.emptyPathLinkWorks = false; // older kernels allow it only with CAP_DAC_READ_SEARCH
        }
        char procPath[64];
        snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", staged->fd);
        if (fsys().linkat(AT_FDCWD, procPath, ref.dirFd, ref.name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        return errno;
    }
    const int err = renameNoReplaceAt(ref.dirFd, staged->tempName, ref.name);
    if (err == 0) {
        staged->tempName.clear();
        keepTimesAfterRename(staged);
    }
    return err;
}

void Copier::keepTimesAfterRename(const Staged *staged)
{
    // Some volumes without O_TMPFILE (fusefat) give a renamed file the time
    // of the rename: it gets its own again through the descriptor.
    struct stat st;
    if (staged->fd >= 0 && staged->times[1].tv_nsec != UTIME_OMIT && fsys().fstat(staged->fd, &st) == 0
        && !sameTimeAsKept(staged->times[1], st.st_mtim))
        fsys().futimens(staged->fd, staged->times);
}

void Copier::discardStaged(const TargetRef &ref, Staged *staged, bool published)
{
    if (staged->fd >= 0) {
        // A copy kept is stored piece by piece, or with the small files;
        // one thrown away gives its room in the window back.
        if (published)
            m_writeBack.fileDone(staged->fd);
        else
            m_writeBack.forget(staged->fd);
        fsys().close(staged->fd);
    }
    staged->fd = -1;
    // Only our own temporary name: never the final one.
    if (!staged->tempName.isEmpty())
        fsys().unlinkat(ref.dirFd, staged->tempName.constData(), 0);
    staged->tempName.clear();
}

void Copier::keepOwner(int fd, const struct stat &srcSt, const QByteArray &dst)
{
    if (fsys().fchown(fd, srcSt.st_uid, srcSt.st_gid) == 0)
        return;
    if (errno == EPERM && m_shared.euid != 0) {
        // A user cannot give files away; the group may still be one of theirs.
        if (fsys().fchown(fd, uid_t(-1), srcSt.st_gid) != 0) { }
        return;
    }
    note(Note::Owner, dst);
}

void Copier::keepExtendedAttributes(int srcFd, int dstFd, const QByteArray &dst)
{
    QByteArray names;
    for (;;) {
        const ssize_t size = fsys().flistxattr(srcFd, nullptr, 0);
        if (size <= 0)
            return; // none, or the source volume has none
        names.resize(size);
        const ssize_t n = fsys().flistxattr(srcFd, names.data(), size_t(names.size()));
        if (n >= 0) {
            names.truncate(n);
            break;
        }
        if (errno != ERANGE)
            return;
    }
    QByteArray value;
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t size = fsys().fgetxattr(srcFd, name.constData(), nullptr, 0);
        if (size < 0)
            continue;
        value.resize(size);
        const ssize_t n = fsys().fgetxattr(srcFd, name.constData(), value.data(), size_t(value.size()));
        if (n < 0)
            continue;
        // ACLs are attributes too (system.posix_acl_*).
        if (fsys().fsetxattr(dstFd, name.constData(), value.constData(), size_t(n), 0) != 0)
            note(Note::ExtendedAttributes, dst);
    }
}

} // namespace EngineJob
