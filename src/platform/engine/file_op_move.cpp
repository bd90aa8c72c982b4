// Phase 4 of a job (see file_op_job.h): moves, the merge check, and the
// staging of a cross-volume move with its rollback.
#include "platform/engine/file_op_job.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/trash.h"

#include <QScopeGuard>

#include <cerrno>
#include <dirent.h>

using namespace FsUtil;

namespace EngineJob {

namespace {

// Removes path and everything below it without following a symlink: a
// link inside is removed itself, never what it points to.
void removeTreeAt(int dirFd, const QByteArray &name)
{
    const int fd = openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR *dir = fdopendir(fd)) {
            QList<QByteArray> names;
            while (const dirent *entry = readdir(dir)) {
                const char *child = entry->d_name;
                if (!(child[0] == '.' && (child[1] == 0 || (child[1] == '.' && child[2] == 0))))
                    names.append(QByteArray(child));
            }
            for (const QByteArray &child : std::as_const(names)) {
                if (unlinkat(fd, child.constData(), 0) != 0 && errno == EISDIR)
                    removeTreeAt(fd, child);
            }
            closedir(dir);
        } else {
            close(fd);
        }
    }
    unlinkat(dirFd, name.constData(), AT_REMOVEDIR);
}

bool sameTimes(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

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
        if (renameError != EEXIST || lstat(dst.constData(), &dstSt) != 0) {
            if (renameError == EEXIST)
                continue; // gone again meanwhile
            const Flow next = stepFailed(src, action, renameError);
            if (next == Flow::Retry)
                continue;
            return next;
        }
        if (dstSt.st_dev == srcSt.st_dev && dstSt.st_ino == srcSt.st_ino) {
            return stepFailed(src, action, 0, EngineTexts::SameFile, false);
        }
        const bool srcIsDir = S_ISDIR(srcSt.st_mode);
        const bool dstIsDir = S_ISDIR(dstSt.st_mode);
        if (srcIsDir != dstIsDir) {
            const Flow next = stepFailed(dst, action, srcIsDir ? EEXIST : EISDIR,
                                         srcIsDir ? EngineTexts::FileWhereFolderGoes
                                                  : EngineTexts::FolderWhereFileGoes);
            if (next == Flow::Retry)
                continue;
            return next;
        }
        // Another volume (where renameat2 could not tell): copy first, so
        // that nothing in the target changes before the copy is complete.
        if (dstSt.st_dev != srcSt.st_dev)
            return moveAcrossVolumes(src, dst, srcSt);
        if (srcIsDir) {
            // Merge into the folder that is already there, all or nothing:
            // every clash is looked for before the first rename.
            const bool outermost = !m_merging;
            if (outermost) {
                const Flow checked = checkMerge(src, dst);
                if (checked != Flow::Continue)
                    return checked;
            }
            m_merging = true;
            auto endMerge = qScopeGuard([&] { m_merging = !outermost; });
            QList<QByteArray> names;
            int err = 0;
            if (!listDir(src, &names, &err)) {
                const Flow next = stepFailed(src, EngineTexts::ActionReadFolder, err);
                if (next == Flow::Retry)
                    continue;
                return next;
            }
            const int skippedBefore = m_skipped;
            for (const QByteArray &name : std::as_const(names)) {
                const QByteArray child = joinPath(src, name);
                struct stat childSt;
                if (lstat(child.constData(), &childSt) != 0)
                    continue;
                if (moveItem(child, joinPath(dst, name), childSt) == Flow::Stop)
                    return Flow::Stop;
            }
            if (m_skipped == skippedBefore && rmdir(src.constData()) != 0) {
                return stepFailed(src, EngineTexts::ActionRemoveSourceFolder, errno, QString(), false);
            }
            return Flow::Continue;
        }
        const Flow conflict = resolveConflict(src, srcSt, dst, dstSt);
        if (conflict != Flow::Continue)
            return conflict;
        // What a move replaces goes to the trash, restorable, as a delete would.
        const Flow aside = setAsideReplaced(dst);
        if (aside != Flow::Continue)
            return aside;
        // The name is free now; if someone took it meanwhile, start over.
    }
}

Flow Job::setAsideReplaced(const QByteArray &dst)
{
    for (;;) {
        // A merge may replace thousands: their info files are made durable
        // together, with their trash's volume (flushVolumes).
        const TrashResult trashed = Trash::moveToTrash(dst, false);
        if (trashed.ok) {
            const QByteArray infoDir = parentOf(trashed.infoPath);
            if (!m_notedInfoDirs.contains(infoDir)) {
                m_notedInfoDirs.append(infoDir);
                if (const int fd = open(infoDir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
                    m_flush.noteWritten(fd, infoDir);
                    close(fd);
                }
            }
            m_flush.noteRenamed(parentOf(dst));
            m_account.addNote(
                EngineTexts::NoteReplacedSetAside.arg(displayPath(dst), displayPath(trashed.trashedPath)));
            return Flow::Continue;
        }
        struct stat st;
        if (lstat(dst.constData(), &st) != 0 && errno == ENOENT)
            return Flow::Continue;
        const Flow next = stepFailed(dst, EngineTexts::ActionReplace, trashed.errorCode,
                                     EngineTexts::ReplacedNotTrashed.arg(trashed.reason));
        if (next == Flow::Retry)
            continue;
        return next;
    }
}

bool Job::findMergeProblem(const QByteArray &src, const QByteArray &dst, MergeProblem *problem)
{
    // Entries leave src and arrive in dst: both must be writable.
    for (const QByteArray &dir : {src, dst}) {
        if (access(dir.constData(), W_OK | X_OK) != 0) {
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
        if (lstat(from.constData(), &fromSt) != 0)
            continue; // gone meanwhile: nothing to move
        if (lstat(to.constData(), &toSt) != 0) {
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

Flow Job::checkMerge(const QByteArray &src, const QByteArray &dst)
{
    for (;;) {
        m_trashReadyOn.clear();
        MergeProblem problem;
        if (access(parentOf(src).constData(), W_OK | X_OK) != 0)
            problem = {parentOf(src), errno, errorText(errno)}; // src itself is removed at the end
        else if (!findMergeProblem(src, dst, &problem))
            return Flow::Continue;
        const Flow next = stepFailed(problem.path, EngineTexts::ActionMove, problem.errorCode,
                                     EngineTexts::MergeRefused.arg(problem.reason));
        if (next == Flow::Retry)
            continue;
        return next;
    }
}

Flow Job::moveAcrossVolumes(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt)
{
    // The whole item is copied into a staging folder of ours on the target's
    // volume, made durable (one flush of the volume) and checked; only then
    // is it put in place by renames (the same-volume rules), those are made
    // durable, and the sources are removed. Until the copy is complete
    // nothing in the target is touched.
    struct stat dstSt;
    const bool dstIsDir = lstat(dst.constData(), &dstSt) == 0 && S_ISDIR(dstSt.st_mode);
    if (S_ISDIR(srcSt.st_mode) && dstIsDir) {
        const Flow checked = checkMerge(src, dst);
        if (checked != Flow::Continue)
            return checked;
    }
    // Inside a target folder that exists (it may be a mount point of its
    // own), else beside the name it will get.
    const QByteArray stagingParent = dstIsDir ? dst : parentOf(dst);
    QByteArray staging;
    for (;;) {
        staging = joinPath(stagingParent, m_shared.temporaryLeaf());
        if (mkdir(staging.constData(), 0700) == 0)
            break;
        const int err = errno;
        if (err == EEXIST)
            continue;
        const Flow next = stepFailed(stagingParent, EngineTexts::ActionCreateFolder, err);
        if (next == Flow::Retry)
            continue;
        return next;
    }
    // Whatever is still staged when this returns was not put in place.
    auto dropStaging = qScopeGuard([&] { removeTreeAt(AT_FDCWD, staging); });
    if (const int stagingFd = open(staging.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); stagingFd >= 0) {
        m_flush.noteWritten(stagingFd, staging);
        close(stagingFd);
    }

    scan(src, srcSt);
    Journal journal;
    const int skippedBefore = m_skipped;
    const QByteArray staged = joinPath(staging, baseNameOf(dst));
    const Flow copied = copyTree(src, staged, srcSt, &journal);
    if (copied == Flow::Stop)
        return Flow::Stop;
    if (copied == Flow::Skip && journal.copiedItems.isEmpty() && journal.createdDirs.isEmpty())
        return Flow::Skip;

    // Everything staged reaches the device before it counts as copied.
    if (!flushVolumes())
        return Flow::Stop;
    for (const auto &item : std::as_const(journal.copiedItems)) {
        struct stat a;
        struct stat b;
        const bool same = lstat(item.first.constData(), &a) == 0 && lstat(item.second.constData(), &b) == 0
            && (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT)
            && (!S_ISREG(a.st_mode) || (a.st_size == b.st_size && sameTimes(a.st_mtim, b.st_mtim)));
        if (!same) {
            reportError(item.first, EngineTexts::ActionMove, EIO, EngineTexts::CopyDiffers, false);
            setFailed();
            return Flow::Stop;
        }
    }

    struct stat stagedSt;
    if (lstat(staged.constData(), &stagedSt) != 0) {
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

    for (const auto &item : std::as_const(journal.copiedItems)) {
        if (unlink(item.first.constData()) != 0) {
            const ErrorAnswer answer = reportError(item.first, EngineTexts::ActionRemoveSource, errno, QString(),
                                                   false);
            if (answer == ErrorAnswer::Cancel)
                return Flow::Stop;
        }
    }
    const bool skippedSome = m_skipped != skippedBefore;
    for (auto it = journal.sourceDirs.crbegin(); it != journal.sourceDirs.crend(); ++it) {
        // A folder that still holds skipped items stays, with them.
        if (rmdir(it->constData()) != 0 && !(skippedSome && (errno == ENOTEMPTY || errno == EEXIST))) {
            const ErrorAnswer answer = reportError(*it, EngineTexts::ActionRemoveSourceFolder, errno, QString(), false);
            if (answer == ErrorAnswer::Cancel)
                return Flow::Stop;
        }
    }
    return skippedSome ? Flow::Skip : Flow::Continue;
}

} // namespace EngineJob
