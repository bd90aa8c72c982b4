// Phase 4 of a job (see file_op_job.h): moves, the merge check, and the
// staging of a cross-volume move with its rollback.
#include "platform/engine/file_op_job.h"
#include "platform/engine/file_system.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/trash.h"

#include <QScopeGuard>

#include <cerrno>
#include <dirent.h>

using namespace FsUtil;

namespace EngineJob {

Flow Job::moveItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt)
{
    if (!m_merging && !m_placing && cancelled()) {
        setCancelled();
        return Flow::Stop;
    }
    const QString action = EngineTexts::ActionMove;
    const auto moved = [&] {
        if (!m_placing) {
            m_progress.filesDone++;
            progress(src);
        }
        return Flow::Continue;
    };
    return untilDone([&](StepFailure &fail) {
        for (;;) {
            // A new name, or EEXIST within the volume, or EXDEV across mounts
            // (also bind mounts of one volume): the target is not touched.
            if (renameNoReplace(src, dst) == 0) {
                m_flush.noteRenamed(parentOf(src));
                m_flush.noteRenamed(parentOf(dst));
                return moved();
            }
            const int renameError = errno;
            if (renameError == EXDEV)
                return moveAcrossVolumes(src, dst, srcSt);
            struct stat dstSt;
            if (renameError != EEXIST || fsys().lstat(dst.constData(), &dstSt) != 0) {
                if (renameError == EEXIST)
                    continue; // gone again meanwhile
                return fail(src, action, renameError);
            }
            if (dstSt.st_dev == srcSt.st_dev && dstSt.st_ino == srcSt.st_ino)
                return stepFailed(src, action, 0, EngineTexts::SameFile, false);
            const bool srcIsDir = S_ISDIR(srcSt.st_mode);
            const bool dstIsDir = S_ISDIR(dstSt.st_mode);
            if (srcIsDir != dstIsDir) {
                return fail(dst, action, srcIsDir ? EEXIST : EISDIR,
                            srcIsDir ? EngineTexts::FileWhereFolderGoes : EngineTexts::FolderWhereFileGoes);
            }
            // Another volume (where renameat2 could not tell): copy first, so
            // that nothing in the target changes before the copy is complete.
            if (dstSt.st_dev != srcSt.st_dev)
                return moveAcrossVolumes(src, dst, srcSt);
            const Flow next = srcIsDir ? mergeFolder(src, dst) : replaceByMove(src, srcSt, dst, dstSt);
            if (next != Flow::Retry)
                return next;
            // The name is free now (or the merge is to start over): once more.
        }
    });
}

Flow Job::replaceByMove(const QByteArray &src, const struct stat &srcSt, const QByteArray &dst,
                        const struct stat &dstSt)
{
    if (m_placing && sameContents(src, srcSt, dst, dstSt)) {
        // A rerun after a kill: this very copy is in place already, and
        // the trash does not get another one.
        fsys().unlink(src.constData());
        return Flow::Continue;
    }
    const Flow conflict = resolveConflict(src, srcSt, dst, dstSt);
    if (conflict != Flow::Continue)
        return conflict;
    // What a move replaces goes to the trash, restorable, as a delete would.
    const Flow aside = setAsideReplaced({AT_FDCWD, dst}, dst, dstSt);
    if (aside != Flow::Continue)
        return aside;
    return Flow::Retry;
}

Flow Job::mergeFolder(const QByteArray &src, const QByteArray &dst)
{
    // Merge into the folder that is already there, all or nothing: every
    // clash is looked for before the first rename.
    const bool outermost = !m_merging;
    if (outermost) {
        const Flow checked = checkMerge(src, dst, true);
        if (checked != Flow::Continue)
            return checked;
    }
    m_merging = true;
    auto endMerge = qScopeGuard([&] {
        m_merging = !outermost;
        if (outermost)
            releaseReservedTrash(); // what the merge did not replace after all
    });
    QList<QByteArray> names;
    int err = 0;
    if (!listDir(src, &names, &err))
        return stepFailed(src, EngineTexts::ActionReadFolder, err);
    const int skippedBefore = m_skipped;
    for (const QByteArray &name : std::as_const(names)) {
        const QByteArray child = joinPath(src, name);
        struct stat childSt;
        if (fsys().lstat(child.constData(), &childSt) != 0)
            continue;
        if (moveItem(child, joinPath(dst, name), childSt) == Flow::Stop)
            return Flow::Stop;
    }
    if (m_skipped == skippedBefore && fsys().rmdir(src.constData()) != 0)
        return stepFailed(src, EngineTexts::ActionRemoveSourceFolder, errno, QString(), false);
    return Flow::Continue;
}

Flow Job::setAsideReplaced(const TargetRef &ref, const QByteArray &dst, const struct stat &expected)
{
    Trash::TrashEntry entry {ref.dirFd, ref.name, dst, expected.st_dev, expected.st_ino};
    int ownFd = -1;
    if (ref.dirFd == AT_FDCWD) {
        // The folder the clash was found in, opened once: from here on the
        // entry is taken relative to it.
        ownFd = fsys().open(parentOf(dst).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (ownFd >= 0)
            entry = {ownFd, baseNameOf(dst), dst, expected.st_dev, expected.st_ino};
    }
    auto closeOwn = qScopeGuard([&] {
        if (ownFd >= 0)
            fsys().close(ownFd);
    });
    return untilDone([&](StepFailure &fail) {
        // A merge may replace thousands: their info files are made durable
        // together, with their trash's volume (flushVolumes).
        TrashResult trashed;
        if (const auto reserved = m_reservedTrash.constFind(dst); reserved != m_reservedTrash.cend()) {
            trashed = Trash::moveEntryToReserved(*reserved, entry);
            if (!trashed.ok)
                Trash::releaseReserved(*reserved);
            m_reservedTrash.erase(reserved);
            if (!trashed.ok && trashed.errorCode != ESTALE)
                trashed = Trash::moveEntryToTrash(entry, false); // e.g. that trash is across a bind mount
        } else {
            trashed = Trash::moveEntryToTrash(entry, false);
        }
        if (trashed.ok) {
            noteTrashInfo(trashed.infoPath);
            m_flush.noteRenamed(parentOf(dst));
            m_account.addNote(EngineTexts::NoteReplacedSetAside.arg(userPath(dst), displayPath(trashed.trashedPath)));
            return Flow::Continue;
        }
        struct stat st;
        if (fsys().fstatat(entry.dirFd, entry.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            return Flow::Continue;
        return fail(dst, EngineTexts::ActionReplace, trashed.errorCode,
                    EngineTexts::ReplacedNotTrashed.arg(trashed.reason), trashed.errorCode != ESTALE);
    });
}

void Job::noteTrashInfo(const QByteArray &infoPath)
{
    const QByteArray infoDir = parentOf(infoPath);
    if (m_notedInfoDirs.contains(infoDir))
        return;
    m_notedInfoDirs.append(infoDir);
    if (const int fd = fsys().open(infoDir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        m_flush.noteWritten(fd, infoDir);
        fsys().close(fd);
    }
}

bool Job::reserveTrashForMerge(MergeProblem *problem)
{
    for (const QByteArray &replaced : std::as_const(m_mergeReplaces)) {
        const TrashResult reserved = Trash::reserveInTrash(replaced);
        if (!reserved.ok) {
            releaseReservedTrash();
            *problem = {replaced, reserved.errorCode, EngineTexts::ReplacedNotTrashed.arg(reserved.reason)};
            return false;
        }
        noteTrashInfo(reserved.infoPath);
        m_reservedTrash.insert(replaced, reserved);
    }
    return true;
}

void Job::releaseReservedTrash()
{
    for (const TrashResult &reserved : std::as_const(m_reservedTrash))
        Trash::releaseReserved(reserved);
    m_reservedTrash.clear();
}

bool Job::findMergeProblem(const QByteArray &src, const QByteArray &dst, MergeProblem *problem)
{
    // Entries leave src and arrive in dst: both must be writable.
    for (const QByteArray &dir : {src, dst}) {
        if (fsys().access(dir.constData(), W_OK | X_OK) != 0) {
            *problem = {dir, errno, errorText(errno)};
            return true;
        }
    }
    QList<QByteArray> names;
    int err = 0;
    if (!listDir(src, &names, &err)) {
        *problem = {src, err, errorText(err)};
        return true;
    }
    for (const QByteArray &name : std::as_const(names)) {
        const QByteArray from = joinPath(src, name);
        const QByteArray to = joinPath(dst, name);
        struct stat fromSt;
        struct stat toSt;
        if (fsys().lstat(from.constData(), &fromSt) != 0)
            continue; // gone meanwhile: nothing to move
        if (fsys().lstat(to.constData(), &toSt) != 0) {
            if (errno == ENOENT)
                continue; // arrives by one rename
            *problem = {to, errno, errorText(errno)};
            return true;
        }
        if (fromSt.st_dev == toSt.st_dev && fromSt.st_ino == toSt.st_ino) {
            *problem = {from, 0, EngineTexts::SameFile};
            return true;
        }
        const bool fromDir = S_ISDIR(fromSt.st_mode);
        if (fromDir != S_ISDIR(toSt.st_mode)) {
            *problem = {to, fromDir ? EEXIST : EISDIR,
                        fromDir ? EngineTexts::FileWhereFolderGoes : EngineTexts::FolderWhereFileGoes};
            return true;
        }
        if (fromDir && findMergeProblem(from, to, problem))
            return true;
        if (!fromDir)
            m_mergeReplaces.append(to);
        if (!fromDir && !m_trashReadyOn.contains(toSt.st_dev)) {
            // This one will be replaced: its trash must be able to take it
            // (one look per volume is enough).
            const TrashResult trash = Trash::checkTrashFor(to);
            if (!trash.ok) {
                *problem = {to, trash.errorCode, EngineTexts::ReplacedNotTrashed.arg(trash.reason)};
                return true;
            }
            m_trashReadyOn.append(toSt.st_dev);
        }
    }
    return false;
}

Flow Job::checkMerge(const QByteArray &src, const QByteArray &dst, bool reserve)
{
    return untilDone([&](StepFailure &fail) {
        m_trashReadyOn.clear();
        m_mergeReplaces.clear();
        MergeProblem problem;
        if (fsys().access(parentOf(src).constData(), W_OK | X_OK) != 0)
            problem = {parentOf(src), errno, errorText(errno)}; // src itself is removed at the end
        else if (!findMergeProblem(src, dst, &problem) && (!reserve || reserveTrashForMerge(&problem)))
            return Flow::Continue;
        return fail(problem.path, EngineTexts::ActionMove, problem.errorCode,
                    EngineTexts::MergeRefused.arg(problem.reason));
    });
}

Flow Job::moveAcrossVolumes(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt)
{
    // The whole item is copied into a staging folder of ours on the target's
    // volume, made durable (one flush of the volume) and checked; only then
    // is it put in place by renames (the same-volume rules), those are made
    // durable, and the sources are removed. Until the copy is complete
    // nothing in the target is touched.
    struct stat dstSt;
    const bool dstIsDir = fsys().lstat(dst.constData(), &dstSt) == 0 && S_ISDIR(dstSt.st_mode);
    if (S_ISDIR(srcSt.st_mode) && dstIsDir) {
        const Flow checked = checkMerge(src, dst, false);
        if (checked != Flow::Continue)
            return checked;
    }
    // Inside a target folder that exists (it may be a mount point of its
    // own), else beside the name it will get.
    const QByteArray stagingParent = dstIsDir ? dst : parentOf(dst);
    removeAbandonedIn(stagingParent);
    QByteArray staging;
    if (const Flow made = makeStaging(stagingParent, &staging); made != Flow::Continue)
        return made;
    // Whatever is still staged when this returns was not put in place.
    auto dropStaging = qScopeGuard([&] { removeTreeAt(AT_FDCWD, staging); });

    // What is copied is recorded on that volume too, not held in memory.
    Journal journal;
    if (const Flow made = makeRecord(stagingParent, &journal); made != Flow::Continue)
        return made;

    scan(src, srcSt);
    const int skippedBefore = m_skipped;
    const QByteArray staged = joinPath(staging, baseNameOf(dst));
    const auto outerStaged = std::exchange(m_stagedAs, {staged, dst});
    auto endStaged = qScopeGuard([&] { m_stagedAs = outerStaged; });
    const Flow copied = copyTree(src, staged, srcSt, &journal);
    if (journal.record.abandoned() && !m_cancelled && !m_failed)
        return Flow::Skip; // its record could not be written: every source stays
    if (copied == Flow::Stop)
        return Flow::Stop;
    if (copied == Flow::Skip && journal.record.items() == 0 && journal.record.folders() == 0)
        return Flow::Skip;
    // The record whole on its volume before it is read back.
    if (const Flow kept = keepRecord(&journal, true); kept != Flow::Continue)
        return kept == Flow::Skip ? Flow::Skip : Flow::Stop;
    testPoint("move-recorded", Copier::descriptorPath(journal.record.fd()));

    // Everything staged reaches the device before it counts as copied.
    if (!flushVolumes())
        return Flow::Stop;
    if (!checkCopied(src, staged, journal))
        return Flow::Stop;

    struct stat stagedSt;
    if (fsys().lstat(staged.constData(), &stagedSt) != 0) {
        reportError(staged, EngineTexts::ActionMove, errno, QString(), false);
        setFailed();
        return Flow::Stop;
    }
    const bool wasPlacing = m_placing;
    m_placing = true;
    const Flow placed = moveItem(staged, dst, stagedSt);
    m_placing = wasPlacing;
    if (placed != Flow::Continue)
        return placed; // every source stays; what was not placed goes with the staging folder
    // The new names, and what was replaced (safe in the trash), last
    // before any source goes.
    m_flush.noteRenamed(stagingParent);
    if (!flushVolumes())
        return Flow::Stop;

    testPoint("copy-placed", dst);
    return removeSources(src, journal, {staged, dst}, skippedBefore);
}

Flow Job::makeStaging(const QByteArray &stagingParent, QByteArray *staging)
{
    const Flow made = untilDone([&](StepFailure &fail) {
        for (;;) {
            *staging = joinPath(stagingParent, m_shared.temporaryLeaf());
            if (fsys().mkdir(staging->constData(), 0700) == 0)
                return Flow::Continue;
            if (errno != EEXIST)
                return fail(stagingParent, EngineTexts::ActionCreateFolder, errno);
        }
    });
    if (made != Flow::Continue)
        return made;
    if (const int stagingFd = fsys().open(staging->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); stagingFd >= 0) {
        m_flush.noteWritten(stagingFd, *staging);
        fsys().close(stagingFd);
    }
    return Flow::Continue;
}

} // namespace EngineJob
