// Phase 2 of a job (see file_op_job.h): copying one folder. It is read and
// filled through descriptors (a link swapped in for a name redirects
// nothing), made owner-only and marked unfinished while it fills, and
// given its mode and times once every file in it is back.
#include "platform/engine/file_op_job.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/file_system.h"

#include <cerrno>

using namespace FsUtil;

namespace EngineJob {

Flow Job::copyDir(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal)
{
    EnteredFolder folder;
    QList<QByteArray> names;
    Flow flow = openSourceFolder(src, &folder, &names);
    if (flow != Flow::Continue)
        return flow;
    flow = openTargetFolder(dst, &folder);
    if (flow != Flow::Continue) {
        fsys().close(folder.srcFd);
        return flow;
    }
    m_flush.noteWritten(folder.dirFd, dst);
    if (journal) {
        // A folder not told apart counts as another one: nothing in it is removed.
        struct stat opened;
        const bool known = fsys().fstat(folder.srcFd, &opened) == 0;
        record(
            journal,
            {RecordStep::Kind::EnterFolder, baseNameOf(src), known ? opened.st_dev : 0, known ? opened.st_ino : 0, {}});
    }
    testPoint("folder-created", dst);
    std::vector<SeenFile> seen;
    if (m_seenFromCount && m_count)
        m_count->takeSeenFiles(srcSt.st_dev, srcSt.st_ino, &seen);
    flow = copyEntries(src, dst, names, seen, &folder, journal);
    if (journal)
        record(journal, {RecordStep::Kind::LeaveFolder, {}, 0, 0, {}});

    // Also after a stop: what was copied keeps the folder's real mode and
    // time; a folder that was there before keeps its own, as with cp. Not
    // before every file handed out for it is back: the walk goes on, and
    // the folder is finished when its turn comes. Each folder waiting so
    // holds two descriptors: not too many. When that many wait, the oldest
    // half is finished first, so the workers keep files to copy meanwhile.
    if (flow != Flow::Stop && m_workers && !m_settling && m_waitingFolders >= MostWaitingFolders) {
        while (m_waitingFolders > MostWaitingFolders / 2 && m_workers->outstanding() > 0) {
            if (settle(*takeBack()) == Flow::Stop) {
                flow = Flow::Stop;
                break;
            }
        }
    }
    if (flow != Flow::Stop && m_workers && m_workers->outstanding() > 0 && m_waitingFolders < MostWaitingFolders) {
        auto marker = std::make_unique<FileTask>();
        ++m_waitingFolders;
        marker->whenTakenBack = [this, folder, dst, srcSt] {
            --m_waitingFolders;
            finishFolder(folder, dst, srcSt);
        };
        m_workers->submitFinished(std::move(marker));
        return flow;
    }
    if (settleHandedOut() == Flow::Stop)
        flow = Flow::Stop;
    finishFolder(folder, dst, srcSt);
    return flow;
}

Flow Job::openSourceFolder(const QByteArray &src, EnteredFolder *folder, QList<QByteArray> *names)
{
    // Read through its descriptor too: a link swapped in for its name, or
    // for a name above it, is not followed.
    return untilDone([&](StepFailure &fail) {
        names->clear();
        int err = 0;
        const SourceRef from = sourceRef(src);
        const int srcFd = fsys().openat(from.dirFd, from.name.constData(),
                                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (srcFd < 0) {
            err = errno == ELOOP ? ENOTDIR : errno;
        } else if (listDirAt(srcFd, names, &err)) {
            folder->srcFd = srcFd;
            return Flow::Continue;
        }
        if (srcFd >= 0)
            fsys().close(srcFd);
        return fail(src, EngineTexts::ActionReadFolder, err);
    });
}

Flow Job::openTargetFolder(const QByteArray &dst, EnteredFolder *folder)
{
    // The folder is filled and finished through the descriptor opened here:
    // a link swapped in for its name later redirects nothing.
    const TargetRef ref = targetRef(dst);
    return untilDone([&](StepFailure &fail) {
        struct stat dirSt;
        folder->created = false;
        if (fsys().fstatat(ref.dirFd, ref.name.constData(), &dirSt, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return fail(dst, EngineTexts::ActionCreateFolder, errno);
            const int err = makeFolder(ref, &folder->dirFd);
            if (err == 0) {
                folder->created = true;
                return Flow::Continue;
            }
            if (err != EEXIST)
                return fail(dst, EngineTexts::ActionCreateFolder, err);
            // Made by someone else meanwhile: it is filled as it is.
        }
        const int dirFd = fsys().openat(ref.dirFd, ref.name.constData(),
                                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dirFd < 0)
            return fail(dst, EngineTexts::ActionCreateFolder, errno == ELOOP ? ENOTDIR : errno);
        if (fsys().fstat(dirFd, &dirSt) != 0) {
            const int err = errno;
            fsys().close(dirFd);
            return fail(dst, EngineTexts::ActionCreateFolder, err);
        }
        folder->dirFd = dirFd;
        folder->unfinished = isUnfinished(dirFd, dirSt);
        removeAbandonedAt(dirFd);
        // A folder the copy makes takes what its parent passes on, which was looked at already.
        checkModeOfNewFilesIn(dirFd);
        return Flow::Continue;
    });
}

int Job::makeFolder(const TargetRef &ref, int *dirFd)
{
    // Owner-only while it fills, the sticky bit and the mark inside saying it
    // is not finished yet; made under a temporary name and given its own
    // only with its mark, so that a kill at any point leaves either a
    // temporary (removed by the next run there) or a marked folder (which
    // a rerun finishes). Where folders cannot be renamed (fusefat), made
    // under its name and marked right after.
    if (m_folderRenamesWork) {
        const QByteArray temporary = ref.sibling(m_shared.temporaryLeaf());
        if (fsys().mkdirat(ref.dirFd, temporary.constData(), UnfinishedFolderMode) != 0)
            return errno;
        const int fd = openFolderAt(ref.dirFd, temporary);
        int err = fd < 0 ? errno : 0;
        if (fd >= 0) {
            markUnfinished(fd);
            if (renameNoReplaceAt(ref.dirFd, temporary, ref.dirFd, ref.name) == 0) {
                *dirFd = fd;
                return 0;
            }
            err = errno;
            fsys().unlinkat(fd, UnfinishedMarker, 0);
            fsys().close(fd);
        }
        fsys().unlinkat(ref.dirFd, temporary.constData(), AT_REMOVEDIR);
        if (fd < 0 || err == EEXIST)
            return err;
        m_folderRenamesWork = false;
    }
    if (fsys().mkdirat(ref.dirFd, ref.name.constData(), UnfinishedFolderMode) != 0)
        return errno;
    const int fd = openFolderAt(ref.dirFd, ref.name);
    if (fd < 0)
        return errno; // the name is left alone: it may no longer be ours
    markUnfinished(fd);
    *dirFd = fd;
    return 0;
}

int Job::openFolderAt(int dirFd, const QByteArray &name)
{
    const int fd = fsys().openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP)
        errno = ENOTDIR;
    return fd;
}

bool Job::statEntry(int srcFd, const QByteArray &child, const QByteArray &name, struct stat *st)
{
    bool found = false;
    untilDone([&](StepFailure &fail) {
        if (fsys().fstatat(srcFd, name.constData(), st, AT_SYMLINK_NOFOLLOW) == 0) {
            found = true;
            return Flow::Continue;
        }
        if (errno == ENOENT)
            return Flow::Continue; // removed while we worked; nothing to copy
        return fail(child, actionText(), errno);
    });
    return found;
}

namespace {

// The stat the count saw of name, the next regular file it listed (or the
// one after, when the walk does not list that one); false: none.
bool seenStat(const std::vector<SeenFile> &seen, size_t *at, const QByteArray &name, struct stat *st)
{
    if (*at >= seen.size())
        return false;
    const size_t hash = seenNameHash(name);
    for (size_t i = *at; i < std::min(seen.size(), *at + 2); ++i) {
        if (seen[i].nameHash == hash) {
            *st = seen[i].lstat();
            *at = i + 1;
            return true;
        }
    }
    return false;
}

} // namespace

Flow Job::copyEntries(const QByteArray &src, const QByteArray &dst, const QList<QByteArray> &names,
                      const std::vector<SeenFile> &seen, EnteredFolder *folder, Journal *journal)
{
    const QByteArray outerPath = m_targetDirPath;
    const int outerFd = m_targetDirFd;
    const QByteArray outerSourcePath = m_sourceDirPath;
    const int outerSourceFd = m_sourceDirFd;
    m_targetDirPath = dst;
    m_targetDirFd = folder->dirFd;
    m_sourceDirPath = src;
    m_sourceDirFd = folder->srcFd;
    Flow flow = holdFolder(&folder->srcFd, &folder->dirFd);
    if (flow == Flow::Continue) {
        size_t seenAt = 0;
        for (const QByteArray &name : names) {
            const QByteArray child = joinPath(src, name);
            struct stat childSt;
            bool fromCount = seenStat(seen, &seenAt, name, &childSt);
            if (fromCount && !canHandOut(childSt))
                fromCount = false; // copied here: as it is now
            const bool found = fromCount || statEntry(folder->srcFd, child, name, &childSt);
            if (m_failed || m_cancelled) {
                flow = Flow::Stop;
                break;
            }
            if (!found || refusedByPreflight(child))
                continue;
            const bool handedOut = canHandOut(childSt);
            if (!handedOut && m_workers && S_ISREG(childSt.st_mode))
                m_workers->release(); // what waits for a worker is not held up by a file copied here
            const Flow copied = handedOut ? handOut(child, joinPath(dst, name), childSt, journal, fromCount)
                                          : copyItem(child, joinPath(dst, name), childSt, journal);
            if (copied == Flow::Stop) {
                flow = Flow::Stop;
                break;
            }
        }
        // The folder above may have been closed meanwhile: it is open again now.
        if (!releaseFolder(dst))
            flow = Flow::Stop;
    }
    m_targetDirPath = outerPath;
    m_targetDirFd = m_heldFolders.empty() ? outerFd : *m_heldFolders.back().dirFd;
    m_sourceDirPath = outerSourcePath;
    m_sourceDirFd = m_heldFolders.empty() ? outerSourceFd : *m_heldFolders.back().srcFd;
    return flow;
}

void Job::finishFolder(const EnteredFolder &folder, const QByteArray &dst, const struct stat &srcSt)
{
    if (folder.created || folder.unfinished) {
        if (m_moving) {
            m_copier.keepOwner(folder.dirFd, srcSt, dst);
            m_copier.keepExtendedAttributes(folder.srcFd, folder.dirFd, dst);
            takeNotes(m_copier.takeNotes());
        }
        // A folder left owner-only, or with its mark in it, is not what
        // was asked for: that is asked about like any failed step.
        untilDone([&](StepFailure &fail) {
            if (fsys().unlinkat(folder.dirFd, UnfinishedMarker, 0) != 0 && errno != ENOENT)
                return fail(dst, actionText(), errno);
            // A volume that keeps no modes (FAT through fusefat) says so; that is no failure.
            const auto failed = [](int result) { return result != 0 && errno != ENOSYS && errno != EOPNOTSUPP; };
            const struct timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
            if (failed(fsys().fchmod(folder.dirFd, srcSt.st_mode & 07777))
                || failed(fsys().futimens(folder.dirFd, times)))
                return fail(dst, actionText(), errno);
            return Flow::Continue;
        });
    }
    fsys().close(folder.dirFd);
    fsys().close(folder.srcFd);
}

void Job::markUnfinished(int dirFd)
{
    // Without the mark (a volume that refuses it) the folder is only not
    // finished by a rerun: safe either way.
    const int fd = fsys().openat(dirFd, UnfinishedMarker, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        fsys().close(fd);
}

void Job::checkModeOfNewFilesIn(int dirFd)
{
    if (!m_shared.modeFromUmask)
        return;
    // ENODATA: no default ACL; EOPNOTSUPP: the volume keeps none. Anything
    // else (a failure) leaves no way to tell: the mode is set on every copy.
    if (fsys().fgetxattr(dirFd, "system.posix_acl_default", nullptr, 0) >= 0
        || (errno != ENODATA && errno != EOPNOTSUPP))
        m_shared.modeFromUmask = false;
}

bool Job::isUnfinished(int dirFd, const struct stat &dirSt) const
{
    if ((dirSt.st_mode & 07777) != UnfinishedFolderMode || dirSt.st_uid != m_euid)
        return false;
    struct stat marker;
    return fsys().fstatat(dirFd, UnfinishedMarker, &marker, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(marker.st_mode)
        && marker.st_uid == m_euid && marker.st_size == 0;
}

} // namespace EngineJob
