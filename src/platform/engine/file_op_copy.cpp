// Phase 2 of a job (see file_op_job.h): copying a tree, item by item.
#include "platform/engine/file_op_job.h"

#include "platform/engine/engine_texts.h"

#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <sys/statvfs.h>

using namespace FsUtil;

namespace EngineJob {

Flow Job::copyItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal)
{
    if (cancelled()) {
        m_cancelled = true;
        return Flow::Stop;
    }
    const QString action = actionText();
    const bool leaf = S_ISREG(srcSt.st_mode) || S_ISLNK(srcSt.st_mode);
    if (leaf) {
        // Most targets do not exist yet: copy right away and look only on EEXIST.
        const Flow created = copyLeaf(src, dst, srcSt, false, journal);
        if (created != Flow::Exists)
            return created;
    }
    for (;;) {
        struct stat dstSt;
        const bool exists = lstat(dst.constData(), &dstSt) == 0;
        if (!exists && errno == ENOENT && leaf) {
            const Flow created = copyLeaf(src, dst, srcSt, false, journal);
            if (created != Flow::Exists)
                return created;
            continue;
        }
        if (!exists && errno != ENOENT) {
            const Flow next = stepFailed(dst, action, errno);
            if (next == Flow::Retry)
                continue;
            return next;
        }
        if (exists && dstSt.st_dev == srcSt.st_dev && dstSt.st_ino == srcSt.st_ino) {
            return stepFailed(src, action, 0, EngineTexts::SameFile, false);
        }
        if (S_ISDIR(srcSt.st_mode)) {
            if (exists && !S_ISDIR(dstSt.st_mode)) {
                const Flow next = stepFailed(dst, action, EEXIST, EngineTexts::FileWhereFolderGoes);
                if (next == Flow::Retry)
                    continue;
                return next;
            }
            return copyDir(src, dst, srcSt, journal);
        }
        if (!S_ISREG(srcSt.st_mode) && !S_ISLNK(srcSt.st_mode)) {
            return stepFailed(src, action, 0, EngineTexts::UnsupportedFileType, false);
        }
        if (exists && S_ISDIR(dstSt.st_mode)) {
            const Flow next = stepFailed(dst, action, EISDIR, EngineTexts::FolderWhereFileGoes);
            if (next == Flow::Retry)
                continue;
            return next;
        }
        if (exists) {
            const Flow flow = resolveConflict(src, srcSt, dst, dstSt);
            if (flow != Flow::Continue) {
                if (flow == Flow::Skip)
                    m_progress.filesDone++;
                return flow;
            }
        }
        const Flow copied = copyLeaf(src, dst, srcSt, exists, journal);
        if (copied != Flow::Exists)
            return copied;
        // The name was taken between the look and the copy: ask about it.
    }
}

Flow Job::copyDir(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal)
{
    const QString action = actionText();
    QList<QByteArray> names;
    for (;;) {
        names.clear();
        int err = 0;
        if (listDir(src, &names, &err))
            break;
        const Flow next = stepFailed(src, EngineTexts::ActionReadFolder, err);
        if (next == Flow::Retry)
            continue;
        return next;
    }

    // The folder is filled and finished through the descriptor opened here:
    // a link swapped in for its name later redirects nothing.
    const TargetRef ref = targetRef(dst);
    bool created = false;
    bool unfinished = false; // left by a run that was killed: finished by this one
    int dirFd = -1;
    for (;;) {
        int err = 0;
        // Owner-only while it fills; the sticky bit marks it as not finished yet.
        if (mkdirat(ref.dirFd, ref.name.constData(), UnfinishedFolderMode) == 0)
            created = true;
        else if (errno != EEXIST)
            err = errno;
        if (err == 0) {
            dirFd = openat(ref.dirFd, ref.name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            struct stat dirSt;
            if (dirFd < 0) {
                err = errno == ELOOP ? ENOTDIR : errno;
            } else if (fstat(dirFd, &dirSt) != 0) {
                err = errno;
            } else if (created && dirSt.st_uid != m_euid) {
                err = EEXIST; // not the folder we just made
            } else {
                unfinished = !created && (dirSt.st_mode & 07777) == UnfinishedFolderMode && dirSt.st_uid == m_euid;
                break;
            }
            if (dirFd >= 0)
                close(dirFd);
            dirFd = -1;
            // The name is left alone: it may no longer be ours. A folder of ours
            // left there keeps its unfinished mark, and a retry finishes it.
            created = false;
        }
        const Flow next = stepFailed(dst, EngineTexts::ActionCreateFolder, err);
        if (next == Flow::Retry)
            continue;
        return next;
    }
    auto closeDir = qScopeGuard([&] { close(dirFd); });
    if (journal) {
        if (created)
            journal->createdDirs.append(dst);
        journal->sourceDirs.append(src);
        journal->targetDirs.append(dst);
    }
    testPoint("folder-created", dst);

    const QByteArray outerPath = m_targetDirPath;
    const int outerFd = m_targetDirFd;
    m_targetDirPath = dst;
    m_targetDirFd = dirFd;
    Flow flow = Flow::Continue;
    for (const QByteArray &name : std::as_const(names)) {
        const QByteArray child = joinPath(src, name);
        struct stat childSt;
        bool gone = false;
        for (;;) {
            if (lstat(child.constData(), &childSt) == 0)
                break;
            if (errno == ENOENT) {
                gone = true; // removed while we worked; nothing to copy
                break;
            }
            if (stepFailed(child, action, errno) == Flow::Retry)
                continue;
            gone = true;
            break;
        }
        if (m_failed || m_cancelled) {
            flow = Flow::Stop;
            break;
        }
        if (gone)
            continue;
        if (copyItem(child, joinPath(dst, name), childSt, journal) == Flow::Stop) {
            flow = Flow::Stop;
            break;
        }
    }
    m_targetDirPath = outerPath;
    m_targetDirFd = outerFd;

    // Also after a stop: what was copied keeps the folder's real mode and
    // time. A folder that was there before keeps its own, as with cp.
    if (created || unfinished) {
        if (m_moving) {
            keepOwner(dirFd, srcSt, dst);
            const int srcFd = open(src.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (srcFd >= 0) {
                keepExtendedAttributes(srcFd, dirFd, dst);
                close(srcFd);
            }
        }
        fchmod(dirFd, srcSt.st_mode & 07777);
        const struct timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
        futimens(dirFd, times);
    }
    return flow;
}

Flow Job::checkSpace(const QByteArray &dst, qint64 needed)
{
    if (needed <= 0)
        return Flow::Continue;
    const QByteArray dir = parentOf(dst);
    // Whole blocks, plus one for the file's own metadata.
    const qint64 blocks = (needed + 4095) / 4096 * 4096 + 4096;
    const qint64 now = m_clock.elapsed();
    if (dir == m_spaceDir && now - m_spaceCheckedMs < SpaceRecheckMs && m_spaceFree >= blocks) {
        m_spaceFree -= blocks;
        return Flow::Continue;
    }
    for (;;) {
        struct statvfs vfs;
        if (statvfs(dir.constData(), &vfs) != 0 || vfs.f_blocks == 0)
            return Flow::Continue; // no figure (ramfs and some FUSE volumes count no blocks)
        const qint64 available = qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
        if (available >= needed) {
            m_spaceDir = dir;
            m_spaceFree = available - blocks;
            m_spaceCheckedMs = m_clock.elapsed();
            return Flow::Continue;
        }
        m_spaceDir.clear();
        const Flow next = stepFailed(dst, actionText(), ENOSPC,
                                     EngineTexts::NoSpaceFor.arg(formatSize(needed), formatSize(available)));
        if (next == Flow::Retry)
            continue;
        return next;
    }
}

Flow Job::copyLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, bool replace,
                   Journal *journal)
{
    if (S_ISREG(srcSt.st_mode)) {
        // A sparse file needs only its data blocks.
        const qint64 allocated = qint64(srcSt.st_blocks) * 512;
        const Flow space = checkSpace(dst, std::min(qint64(srcSt.st_size), allocated));
        if (space != Flow::Continue) {
            if (space == Flow::Skip)
                m_progress.filesDone++;
            return space;
        }
    }
    const qint64 bytesBefore = m_progress.bytesDone;
    m_currentPath = src;
    const TargetRef ref = targetRef(dst);
    Staged staged;
    SourceState state;
    for (;;) {
        // A small file or a link is quicker copied than looked for: its name
        // is refused at the end (EEXIST) all the same. A big one is looked for first.
        if (!replace && S_ISREG(srcSt.st_mode) && srcSt.st_size > CheckBeforeCopyBytes) {
            struct stat existing;
            if (fstatat(ref.dirFd, ref.name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
                return Flow::Exists;
        }
        m_failedPath.clear();
        m_failReason.clear();
        staged = Staged();
        int err = S_ISREG(srcSt.st_mode) ? stageFile(src, dst, ref, &staged, &state)
                                         : stageLink(src, dst, ref, srcSt, &staged);
        if (err == 0 && replace) {
            // The new content is complete: only now does the old one go, to the trash.
            const Flow aside = setAsideReplaced(dst);
            if (aside != Flow::Continue) {
                discardStaged(ref, &staged);
                m_progress.bytesDone = bytesBefore;
                if (aside == Flow::Skip)
                    m_progress.filesDone++;
                return aside;
            }
        }
        if (err == 0) {
            testPoint("file-written", dst);
            err = publishStaged(ref, &staged);
            if (err == EEXIST && !replace) {
                discardStaged(ref, &staged);
                m_progress.bytesDone = bytesBefore;
                return Flow::Exists;
            }
            if (err == EEXIST)
                m_failReason = EngineTexts::NameTakenWhileReplacing;
            if (err != 0 && !staged.linkFrom.isEmpty() && err != EEXIST) {
                // The target refuses a second link: the file is copied on its own.
                note(Note::HardLinks, dst);
                m_hardLinksWork = false;
                discardStaged(ref, &staged);
                continue;
            }
            m_failedPath = dst;
        }
        discardStaged(ref, &staged);
        if (err == 0)
            break;
        m_progress.bytesDone = bytesBefore;
        if (err == ECANCELED || cancelled()) {
            m_cancelled = true;
            return Flow::Stop;
        }
        const Flow next = stepFailed(m_failedPath.isEmpty() ? src : m_failedPath, actionText(), err, m_failReason);
        if (next == Flow::Retry)
            continue;
        if (next == Flow::Skip)
            m_progress.filesDone++;
        return next;
    }
    m_progress.filesDone++;
    if (m_moving && S_ISREG(srcSt.st_mode) && state.links > 1 && staged.linkFrom.isEmpty())
        m_linkedCopies.insert({state.device, state.inode}, dst);
    if (journal) {
        if (!replace)
            journal->createdFiles.append(dst);
        journal->copiedItems.append({src, dst});
        journal->copiedStates.append(state);
    }
    progress(src);
    return Flow::Continue;
}

} // namespace EngineJob
