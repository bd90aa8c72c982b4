// Phase 4 of a job, its last steps (see file_op_job.h): the staged copy of
// a cross-volume move is checked against its sources, and once it is in
// place the sources are removed. Both replay the move's record
// (file_op_move_record.h) step by step, through the descriptors of the
// folders (openat/fstatat/unlinkat, never following a link), so trees of
// any depth and size work in bounded memory; an entry is removed only
// while it is still the one that was copied.
#include "platform/engine/file_op_job.h"
#include "platform/engine/file_system.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/folder_trail.h"

#include <QSet>

#include <xxhash.h>

#include <algorithm>
#include <cerrno>

using namespace FsUtil;

namespace EngineJob {

// A folder the removal of the sources is in.
struct RemovalLevel
{
    QByteArray name;
    dev_t device = 0;
    ino_t inode = 0;
    // The names its copy's folder lists (as hashes, sorted), taken when its
    // first item comes: a volume may lose what a renamed folder holds while
    // it still finds it by name.
    std::vector<quint64> placed;
    bool listed = false;
};

// What the removal of the sources carries from item to item.
struct SourceRemoval
{
    // Files with more names, one of which we removed: that moved their
    // change time on, which is no change of theirs (only such files).
    QSet<QPair<dev_t, ino_t>> linkRemoved;
    bool skippedSome = false;
};

namespace {

quint64 nameHash(const char *name, size_t size)
{
    return XXH3_64bits(name, size);
}

// The names in the folder open at copyDir, as sorted hashes (empty when it
// cannot be listed: then nothing in it counts as in place).
std::vector<quint64> listedNames(int copyDir)
{
    std::vector<quint64> hashes;
    QList<QByteArray> names;
    int err = 0;
    if (copyDir >= 0 && Job::listDirAt(copyDir, &names, &err)) {
        hashes.reserve(size_t(names.size()));
        for (const QByteArray &name : std::as_const(names))
            hashes.push_back(nameHash(name.constData(), size_t(name.size())));
    }
    std::sort(hashes.begin(), hashes.end());
    return hashes;
}

// Whether the copy of an item (copyName in copyDir) is complete and its
// source (name in sourceDir) still as it was copied. The source is judged
// by itself (a write since the copy started moves its change time on,
// whatever it does to the rest); the copy by what its volume can keep: its
// size, and its time as coarse as that volume keeps times.
bool copiedAsItWas(int sourceDir, int copyDir, const RecordStep &item, const QByteArray &copyName)
{
    const SourceState &state = item.state;
    struct stat sourceNow;
    struct stat copyNow;
    return sourceDir >= 0 && copyDir >= 0
        && fsys().fstatat(sourceDir, item.name.constData(), &sourceNow, AT_SYMLINK_NOFOLLOW) == 0
        && state.unchanged(sourceNow)
        && fsys().fstatat(copyDir, copyName.constData(), &copyNow, AT_SYMLINK_NOFOLLOW) == 0
        && (sourceNow.st_mode & S_IFMT) == (copyNow.st_mode & S_IFMT)
        && (!S_ISREG(copyNow.st_mode)
            || (qint64(copyNow.st_size) == state.size && sameTimeAsKept(state.modified, copyNow.st_mtim)));
}

} // namespace

bool Job::checkCopied(const QByteArray &src, const QByteArray &staged, const Journal &journal)
{
    FolderTrail sources(HeldFolderLevels);
    FolderTrail copies(HeldFolderLevels);
    sources.enter(fsys().open(parentOf(src).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    copies.enter(fsys().open(parentOf(staged).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const QByteArray copyOfItem = baseNameOf(staged);
    QByteArray path = parentOf(src); // the source folder the walk is in
    int depth = 0;
    QByteArray failedPath;
    QString reason;
    MoveRecord::Reader reader(journal.record);
    RecordStep step;
    while (reason.isEmpty() && reader.next(&step)) {
        // The moved item itself has the name it was staged under; below it the names are the source's.
        const QByteArray &copyName = depth == 0 ? copyOfItem : step.name;
        switch (step.kind) {
        case RecordStep::Kind::EnterFolder: {
            int fd = sources.openBelow(step.name.constData());
            struct stat st;
            if (fd >= 0 && (fsys().fstat(fd, &st) != 0 || st.st_dev != step.device || st.st_ino != step.inode)) {
                fsys().close(fd); // another folder in its place: its items count as changed
                fd = -1;
            }
            sources.enter(fd);
            copies.enter(copies.openBelow(copyName.constData()));
            path = joinPath(path, step.name);
            ++depth;
            break;
        }
        case RecordStep::Kind::Item:
            if (!copiedAsItWas(sources.current(), copies.current(), step, copyName)) {
                failedPath = joinPath(path, step.name);
                reason = EngineTexts::CopyDiffers;
            }
            break;
        case RecordStep::Kind::LeaveFolder: {
            const bool sourceBack = sources.leave();
            const bool copyBack = copies.leave();
            path = parentOf(path);
            if (--depth < 0) {
                reason = EngineTexts::RecordDamaged.arg(errorText(EBADMSG));
                failedPath = src;
            } else if (!(sourceBack && copyBack)) {
                failedPath = path;
                reason = EngineTexts::FolderMovedAway;
            }
            break;
        }
        }
    }
    if (reason.isEmpty() && (reader.error() != 0 || depth != 0)) {
        failedPath = src;
        reason = EngineTexts::RecordDamaged.arg(errorText(reader.error() != 0 ? reader.error() : EBADMSG));
    }
    if (reason.isEmpty())
        return true;
    reportError(failedPath, EngineTexts::ActionMove, EIO, reason, false);
    setFailed();
    return false;
}

Flow Job::removeSources(const QByteArray &src, const Journal &journal, const QPair<QByteArray, QByteArray> &placed,
                        int skippedBefore)
{
    // The whole record reads back intact before the first source goes.
    const auto damaged = [&](int err) {
        reportError(src, EngineTexts::ActionRemoveSource, err, EngineTexts::RecordDamaged.arg(errorText(err)), false);
        setFailed();
        return Flow::Stop;
    };
    if (const int err = journal.record.verify(); err != 0)
        return damaged(err);
    SourceRemoval removal;
    removal.skippedSome = m_skipped != skippedBefore;
    // The folder the user named the source in: looked up by its path once.
    const int parentFd = fsys().open(parentOf(src).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return stepFailed(src, EngineTexts::ActionRemoveSource, errno, QString(), false);
    FolderTrail sources(HeldFolderLevels);
    FolderTrail copies(HeldFolderLevels);
    sources.enter(parentFd);
    copies.enter(fsys().open(parentOf(placed.second).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const QByteArray copyOfItem = baseNameOf(placed.second);
    QByteArray path = parentOf(src);
    std::vector<RemovalLevel> levels(1); // the folder the item was in: its copy's folder is not listed
    int passing = 0; // levels of a folder left where it is: its steps are passed over
    MoveRecord::Reader reader(journal.record);
    RecordStep step;
    while (reader.next(&step)) {
        if (passing > 0) {
            passing += step.kind == RecordStep::Kind::EnterFolder ? 1
                : step.kind == RecordStep::Kind::LeaveFolder      ? -1
                                                                  : 0;
            continue;
        }
        const QByteArray &copyName = levels.size() == 1 ? copyOfItem : step.name;
        Flow flow = Flow::Continue;
        switch (step.kind) {
        case RecordStep::Kind::EnterFolder:
            flow = enterSourceFolder(sources, copies, step, copyName, joinPath(path, step.name));
            if (flow == Flow::Continue) {
                levels.push_back({step.name, step.device, step.inode, {}, false});
                path = joinPath(path, step.name);
            } else if (flow == Flow::Skip) {
                passing = 1;
            }
            break;
        case RecordStep::Kind::Item: {
            RemovalLevel &level = levels.back();
            if (levels.size() > 1 && !level.listed) {
                level.placed = listedNames(copies.current());
                level.listed = true;
            }
            flow = removeSourceItem(sources.current(), copies.current(), joinPath(path, step.name), step, copyName,
                                    levels.size() > 1 ? &level.placed : nullptr, removal);
            break;
        }
        case RecordStep::Kind::LeaveFolder: {
            if (levels.size() == 1)
                return damaged(EBADMSG);
            const RemovalLevel folder = levels.back();
            levels.pop_back();
            const QByteArray folderPath = path;
            path = parentOf(path);
            flow = leaveSourceFolder(sources, copies, folder, folderPath, removal);
            break;
        }
        }
        if (flow == Flow::Stop)
            return flow;
    }
    if (reader.error() != 0)
        return damaged(reader.error());
    return m_skipped != skippedBefore ? Flow::Skip : Flow::Continue;
}

Flow Job::enterSourceFolder(FolderTrail &sources, FolderTrail &copies, const RecordStep &folder,
                            const QByteArray &copyName, const QByteArray &folderPath)
{
    const int fd = sources.openBelow(folder.name.constData());
    struct stat st;
    if (fd < 0 || fsys().fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_dev != folder.device
        || st.st_ino != folder.inode) {
        // A link or another folder in its place: nothing under that name is ours.
        if (fd >= 0)
            fsys().close(fd);
        return stepFailed(folderPath, EngineTexts::ActionRemoveSourceFolder, 0, EngineTexts::SourceSwapped, false);
    }
    sources.enter(fd);
    copies.enter(copies.openBelow(copyName.constData()));
    return Flow::Continue;
}

Flow Job::leaveSourceFolder(FolderTrail &sources, FolderTrail &copies, const RemovalLevel &folder,
                            const QByteArray &folderPath, const SourceRemoval &removal)
{
    // The folders above may have been closed meanwhile: they are open again now.
    const bool sourceBack = sources.leave();
    const bool copyBack = copies.leave();
    if (!sourceBack || !copyBack) {
        // Moved away meanwhile: nothing more is removed through it.
        reportError(parentOf(folderPath), EngineTexts::ActionRemoveSourceFolder, ENOENT, EngineTexts::FolderMovedAway,
                    false);
        setFailed();
        return Flow::Stop;
    }
    const int parentFd = sources.current();
    struct stat st;
    if (fsys().fstatat(parentFd, folder.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)
        || st.st_dev != folder.device || st.st_ino != folder.inode)
        return stepFailed(folderPath, EngineTexts::ActionRemoveSourceFolder, 0, EngineTexts::SourceSwapped, false);
    if (fsys().unlinkat(parentFd, folder.name.constData(), AT_REMOVEDIR) == 0)
        return Flow::Continue;
    const int err = errno;
    // A folder that still holds skipped items stays, with them.
    const bool holdsSkipped = (removal.skippedSome || m_skipped > 0) && (err == ENOTEMPTY || err == EEXIST);
    if (holdsSkipped)
        return Flow::Continue;
    return stepFailed(folderPath, EngineTexts::ActionRemoveSourceFolder, err, QString(), false);
}

Flow Job::removeSourceItem(int dirFd, int copyDir, const QByteArray &path, const RecordStep &item,
                           const QByteArray &copyName, const std::vector<quint64> *placed, SourceRemoval &removal)
{
    const SourceState &state = item.state;
    const char *name = item.name.constData();
    struct stat st;
    if (fsys().fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return stepFailed(path, EngineTexts::ActionRemoveSource, errno, QString(), false);
    const QPair<dev_t, ino_t> id {st.st_dev, st.st_ino};
    if (!state.unchanged(st, removal.linkRemoved.contains(id))) {
        // Written to, or another file put in its place, since it was copied.
        return stepFailed(path, EngineTexts::ActionRemoveSource, 0, EngineTexts::SourceChangedNotRemoved, false);
    }
    // Its copy listed in its folder (where that was listed), there, and with its size.
    struct stat copySt;
    const bool inPlace = copyDir >= 0
        && (!placed
            || std::binary_search(placed->cbegin(), placed->cend(),
                                  nameHash(copyName.constData(), size_t(copyName.size()))))
        && fsys().fstatat(copyDir, copyName.constData(), &copySt, AT_SYMLINK_NOFOLLOW) == 0
        && (!S_ISREG(copySt.st_mode) || qint64(copySt.st_size) == state.size);
    if (!inPlace)
        return stepFailed(path, EngineTexts::ActionRemoveSource, 0, EngineTexts::CopyNotInPlace, false);
    if (fsys().unlinkat(dirFd, name, 0) != 0)
        return stepFailed(path, EngineTexts::ActionRemoveSource, errno, QString(), false);
    if (st.st_nlink > 1)
        removal.linkRemoved.insert(id);
    return Flow::Continue;
}

} // namespace EngineJob
