// Phase 2 of a job (see file_op_job.h): copying a tree, item by item, with
// the small files handed to the copy workers.
#include "platform/engine/file_op_job.h"
#include "platform/engine/file_system.h"

#include "platform/engine/engine_texts.h"

#include <algorithm>
#include <cerrno>
#include <sys/statvfs.h>

using namespace FsUtil;

namespace EngineJob {

Flow Job::copyTree(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal)
{
    // What decides the mode of new files in the folder the item goes into.
    if (const int parentFd = fsys().open(parentOf(dst).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        parentFd >= 0) {
        checkModeOfNewFilesIn(parentFd);
        fsys().close(parentFd);
    } else {
        m_shared.modeFromUmask = false;
    }
    const Flow copied = refusedByPreflight(src) ? Flow::Skip : copyItem(src, dst, srcSt, journal);
    return settleHandedOut() == Flow::Stop ? Flow::Stop : copied;
}

Flow Job::copyItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal)
{
    if (cancelled()) {
        setCancelled();
        return Flow::Stop;
    }
    if (recordKept(journal) != Flow::Continue)
        return Flow::Stop;
    const bool leaf = S_ISREG(srcSt.st_mode) || S_ISLNK(srcSt.st_mode);
    if (leaf) {
        // Most targets do not exist yet: copy right away and look only on EEXIST.
        const Flow created = copyLeaf(src, dst, srcSt, nullptr, journal);
        if (created != Flow::Exists)
            return created;
    }
    return resolveAndCopy(src, dst, srcSt, journal);
}

Flow Job::resolveAndCopy(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal)
{
    const QString action = actionText();
    const bool leaf = S_ISREG(srcSt.st_mode) || S_ISLNK(srcSt.st_mode);
    return untilDone([&](StepFailure &fail) {
        for (;;) {
            struct stat dstSt;
            const TargetRef ref = targetRef(dst); // by descriptor: the path may be past PATH_MAX
            const bool exists = fsys().fstatat(ref.dirFd, ref.name.constData(), &dstSt, AT_SYMLINK_NOFOLLOW) == 0;
            if (!exists && errno == ENOENT && leaf) {
                const Flow created = copyLeaf(src, dst, srcSt, nullptr, journal);
                if (created != Flow::Exists)
                    return created;
                continue;
            }
            if (!exists && errno != ENOENT)
                return fail(dst, action, errno);
            if (exists && dstSt.st_dev == srcSt.st_dev && dstSt.st_ino == srcSt.st_ino)
                return stepFailed(src, action, 0, EngineTexts::SameFile, false);
            if (S_ISDIR(srcSt.st_mode)) {
                if (exists && !S_ISDIR(dstSt.st_mode))
                    return fail(dst, action, EEXIST, EngineTexts::FileWhereFolderGoes);
                return copyDir(src, dst, srcSt, journal);
            }
            if (!leaf)
                return stepFailed(src, action, 0, EngineTexts::UnsupportedFileType, false);
            if (exists && S_ISDIR(dstSt.st_mode))
                return fail(dst, action, EISDIR, EngineTexts::FolderWhereFileGoes);
            if (exists) {
                const Flow flow = resolveConflict(src, srcSt, dst, dstSt);
                if (flow != Flow::Continue) {
                    if (flow == Flow::Skip)
                        m_progress.filesDone++;
                    return flow;
                }
            }
            const Flow copied = copyLeaf(src, dst, srcSt, exists ? &dstSt : nullptr, journal);
            if (copied != Flow::Exists)
                return copied;
            // The name was taken between the look and the copy: ask about it.
        }
    });
}

TargetRef Job::targetRef(const QByteArray &dst) const
{
    if (m_targetDirFd >= 0 && parentOf(dst) == m_targetDirPath)
        return {m_targetDirFd, baseNameOf(dst)};
    return {AT_FDCWD, dst};
}

SourceRef Job::sourceRef(const QByteArray &src) const
{
    if (m_sourceDirFd >= 0 && parentOf(src) == m_sourceDirPath)
        return {m_sourceDirFd, baseNameOf(src)};
    return {AT_FDCWD, src};
}

Flow Job::checkSpaceFor(const QByteArray &dst, const struct stat &srcSt)
{
    // A sparse file needs only its data blocks.
    const qint64 allocated = qint64(srcSt.st_blocks) * 512;
    const Flow space = checkSpace(dst, std::min(qint64(srcSt.st_size), allocated));
    if (space == Flow::Skip)
        m_progress.filesDone++;
    return space;
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
        m_spaceCounted = {blocks, m_spaceVolume};
        return Flow::Continue;
    }
    return untilDone([&](StepFailure &fail) {
        for (;;) {
            struct statvfs vfs;
            if (fsys().statvfs(dir.constData(), &vfs) != 0 || vfs.f_blocks == 0)
                return Flow::Continue; // no figure (ramfs and some FUSE volumes count no blocks)
            // What the workers are still to write of the files handed out
            // is not yet taken from the free space the volume reports.
            const quint64 volume = quint64(vfs.f_fsid);
            const qint64 unwritten = m_workers ? m_workers->unwrittenBytes(volume) : 0;
            const qint64 available = qint64(vfs.f_bavail) * qint64(vfs.f_frsize) - unwritten;
            if (available >= needed) {
                m_spaceDir = dir;
                m_spaceVolume = volume;
                m_spaceFree = available - blocks;
                m_spaceCheckedMs = m_clock.elapsed();
                m_spaceCounted = {blocks, volume};
                return Flow::Continue;
            }
            m_spaceDir.clear();
            if (unwritten > 0 && !m_settling) {
                // They may need less than counted (skipped, failed, holes):
                // taken back first, their questions before this one, then looked at again.
                if (settleHandedOut() == Flow::Stop)
                    return Flow::Stop;
                continue;
            }
            return fail(dst, actionText(), ENOSPC,
                        EngineTexts::NoSpaceFor.arg(formatSize(needed), formatSize(std::max(available, qint64(0)))));
        }
    });
}

Flow Job::copyLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, const struct stat *replacing,
                   Journal *journal)
{
    const bool replace = replacing != nullptr;
    if (S_ISREG(srcSt.st_mode)) {
        if (const Flow space = checkSpaceFor(dst, srcSt); space != Flow::Continue)
            return space;
    }
    const qint64 bytesBefore = m_progress.bytesDone;
    m_currentPath = src;
    const TargetRef ref = targetRef(dst);
    LeafAttempt attempt;
    const Flow done = untilDone([&](StepFailure &fail) {
        for (;;) {
            // A small file or a link is quicker copied than looked for: its name
            // is refused at the end (EEXIST) all the same. A big one is looked for first.
            if (!replace && S_ISREG(srcSt.st_mode) && srcSt.st_size > CheckBeforeCopyBytes) {
                struct stat existing;
                if (fsys().fstatat(ref.dirFd, ref.name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
                    return Flow::Exists;
            }
            attempt = LeafAttempt();
            const Flow flow = attemptLeaf(src, dst, srcSt, replacing, ref, &attempt);
            if (flow == Flow::Retry && attempt.err == 0)
                continue; // at once, without a question
            if (flow == Flow::Continue)
                return flow;
            m_progress.bytesDone = bytesBefore;
            if (flow != Flow::Retry)
                return flow;
            if (attempt.err == ECANCELED || cancelled()) {
                setCancelled();
                return Flow::Stop;
            }
            return fail(attempt.failedPath.isEmpty() ? src : attempt.failedPath, actionText(), attempt.err,
                        m_copier.failReason());
        }
    });
    if (done != Flow::Continue) {
        if (done == Flow::Skip)
            m_progress.filesDone++;
        return done;
    }
    m_progress.filesDone++;
    const SourceState &state = attempt.state;
    if (m_moving && S_ISREG(srcSt.st_mode) && state.links > 1 && attempt.staged.linkFrom.isEmpty())
        m_linkedCopies.insert({state.device, state.inode}, dst);
    if (journal)
        record(journal, {RecordStep::Kind::Item, baseNameOf(src), 0, 0, state});
    progress(src);
    return Flow::Continue;
}

Flow Job::attemptLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt,
                      const struct stat *replacing, const TargetRef &ref, LeafAttempt *attempt)
{
    m_copier.clearFailure();
    Staged &staged = attempt->staged;
    const auto firstLink = m_moving && m_hardLinksWork && S_ISREG(srcSt.st_mode) && srcSt.st_nlink > 1
        ? m_linkedCopies.constFind({srcSt.st_dev, srcSt.st_ino})
        : m_linkedCopies.cend();
    attempt->state = SourceState::of(srcSt); // a link is as the walk saw it
    if (firstLink != m_linkedCopies.cend()) {
        // Another name of a file this move copied already: one more link, as in the source.
        staged.linkFrom = *firstLink;
        m_progress.bytesDone += srcSt.st_size;
    } else {
        const SourceRef from = sourceRef(src);
        attempt->err = S_ISREG(srcSt.st_mode) ? m_copier.stageFile(src, from, dst, ref, &staged, &attempt->state)
                                              : m_copier.stageLink(src, from, dst, ref, srcSt, &staged);
        attempt->failedPath = m_copier.failedPath();
        takeNotes(m_copier.takeNotes());
        if (attempt->err != 0) {
            m_copier.discardStaged(ref, &staged);
            return Flow::Retry;
        }
    }
    if (replacing) {
        // The new content is complete: only now does the old one go, to the trash.
        const Flow aside = setAsideReplaced(ref, dst, *replacing);
        if (aside != Flow::Continue) {
            m_copier.discardStaged(ref, &staged);
            return aside;
        }
    }
    testPoint("file-written", dst);
    int &err = attempt->err;
    err = m_copier.publishStaged(ref, &staged);
    if (err == EEXIST && !replacing) {
        m_copier.discardStaged(ref, &staged);
        return Flow::Exists;
    }
    if (err == EEXIST)
        m_copier.setFailReason(EngineTexts::NameTakenWhileReplacing);
    if (err != 0 && !staged.linkFrom.isEmpty() && err != EEXIST) {
        // The target refuses a second link: the file is copied on its own.
        note(Note::HardLinks, dst);
        m_hardLinksWork = false;
        m_copier.discardStaged(ref, &staged);
        err = 0;
        return Flow::Retry;
    }
    attempt->failedPath = dst;
    m_copier.discardStaged(ref, &staged, err == 0);
    return err == 0 ? Flow::Continue : Flow::Retry;
}

} // namespace EngineJob
