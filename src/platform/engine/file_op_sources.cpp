// Phase 4 of a job, its last steps (see file_op_job.h): the staged copy of
// a cross-volume move is checked against its sources, and once it is in
// place the sources are removed. Both go through the descriptors of the
// folders (openat/fstatat/unlinkat, never following a link), so trees of
// any depth work; an entry is removed only while it is still the one that
// was copied.
#include "platform/engine/file_op_job.h"
#include "platform/engine/file_system.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/folder_trail.h"

#include <QSet>

#include <cerrno>

using namespace FsUtil;

namespace EngineJob {

// The copied items grouped by the folder that holds them, found once by
// path, then reached only through the folders' descriptors (FolderTrail:
// a tree of any depth, its paths as long as they come).
struct SourceRemoval
{
    const Journal &journal;
    QList<QList<int>> items; // per source folder: indices into journal.copiedItems
    QList<QList<int>> subfolders; // per source folder: indices into journal.sourceFolders
    QList<int> topItems; // beside the moved item: a file or link moved on its own
    QByteArray copyName; // the name the copy of the moved item has
    // Files with more names, one of which we removed: that moved their
    // change time on, which is no change of theirs.
    QSet<QPair<dev_t, ino_t>> linkRemoved;
    bool skippedSome = false;

    // The names in the folder a folder's copy was put as, listed (a volume
    // may lose what a renamed folder holds while it still finds it by name).
    QSet<QByteArray> placedNames;

    void listPlaced(int copyDir)
    {
        placedNames.clear();
        QList<QByteArray> names;
        int err = 0;
        if (copyDir >= 0 && Job::listDirAt(copyDir, &names, &err))
            placedNames = QSet<QByteArray>(names.cbegin(), names.cend());
    }
    // Whether the copy of item i is in copyDir, as it was written.
    bool copyInPlace(int copyDir, int i, bool listed) const
    {
        const QByteArray name = baseNameOf(journal.copiedItems.at(i).second);
        const SourceState &state = journal.copiedStates.at(i);
        struct stat st;
        return copyDir >= 0 && (!listed || placedNames.contains(name))
            && fsys().fstatat(copyDir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
            && (!S_ISREG(st.st_mode) || qint64(st.st_size) == state.size);
    }
    // The copy's name of folder index (the same as the source's below the top).
    QByteArray copyFolderName(int index) const
    {
        return index == 0 ? copyName : baseNameOf(journal.sourceFolders.at(index).path);
    }

    SourceRemoval(const Journal &moved, const QByteArray &copyOfItem)
        : journal(moved)
        , items(moved.sourceFolders.size())
        , subfolders(moved.sourceFolders.size())
        , copyName(baseNameOf(copyOfItem))
    {
        QHash<QByteArray, int> folderAt;
        for (qsizetype i = 0; i < moved.sourceFolders.size(); ++i)
            folderAt.insert(moved.sourceFolders.at(i).path, int(i));
        for (qsizetype i = 1; i < moved.sourceFolders.size(); ++i) {
            const int parent = folderAt.value(parentOf(moved.sourceFolders.at(i).path), -1);
            if (parent >= 0)
                subfolders[parent].append(int(i));
        }
        for (qsizetype i = 0; i < moved.copiedItems.size(); ++i) {
            const int folder = folderAt.value(parentOf(moved.copiedItems.at(i).first), -1);
            (folder >= 0 ? items[folder] : topItems).append(int(i));
        }
    }
};

namespace {

// Whether the copy of item i (in copyDir) is complete and its source (in
// sourceDir) still as it was copied. The source is judged by itself (a
// write since the copy started moves its change time on, whatever it does
// to the rest); the copy by what its volume can keep: its size, and its
// time as coarse as that volume keeps times.
bool copiedAsItWas(int sourceDir, int copyDir, int i, const Journal &journal)
{
    const SourceState &state = journal.copiedStates.at(i);
    const QByteArray sourceName = baseNameOf(journal.copiedItems.at(i).first);
    const QByteArray copyName = baseNameOf(journal.copiedItems.at(i).second);
    struct stat sourceNow;
    struct stat copyNow;
    return sourceDir >= 0 && copyDir >= 0
        && fsys().fstatat(sourceDir, sourceName.constData(), &sourceNow, AT_SYMLINK_NOFOLLOW) == 0
        && state.unchanged(sourceNow)
        && fsys().fstatat(copyDir, copyName.constData(), &copyNow, AT_SYMLINK_NOFOLLOW) == 0
        && (sourceNow.st_mode & S_IFMT) == (copyNow.st_mode & S_IFMT)
        && (!S_ISREG(copyNow.st_mode)
            || (qint64(copyNow.st_size) == state.size && sameTimeAsKept(state.modified, copyNow.st_mtim)));
}

// What the check of a staged copy found wrong first.
struct CheckFailure
{
    QByteArray path;
    QString reason;
};

// Checks the items of folder index and below, the source folder and its
// copy opened one level down from where the trails are.
bool checkFolder(FolderTrail &sources, FolderTrail &copies, int index, const SourceRemoval &tree, CheckFailure *failure)
{
    const SourceFolder &folder = tree.journal.sourceFolders.at(index);
    int fd = sources.openBelow(baseNameOf(folder.path).constData());
    struct stat st;
    if (fd >= 0 && (fsys().fstat(fd, &st) != 0 || st.st_dev != folder.device || st.st_ino != folder.inode)) {
        fsys().close(fd); // another folder in its place: its items count as changed
        fd = -1;
    }
    sources.enter(fd);
    copies.enter(copies.openBelow(tree.copyFolderName(index).constData()));
    bool ok = true;
    for (const int i : tree.items.at(index)) {
        if (!copiedAsItWas(sources.current(), copies.current(), i, tree.journal)) {
            *failure = {tree.journal.copiedItems.at(i).first, EngineTexts::CopyDiffers};
            ok = false;
            break;
        }
    }
    for (auto it = tree.subfolders.at(index).cbegin(); ok && it != tree.subfolders.at(index).cend(); ++it)
        ok = checkFolder(sources, copies, *it, tree, failure);
    const bool sourceBack = sources.leave();
    const bool copyBack = copies.leave();
    if (ok && !(sourceBack && copyBack)) {
        *failure = {parentOf(folder.path), EngineTexts::FolderMovedAway};
        ok = false;
    }
    return ok;
}

} // namespace

bool Job::checkCopied(const QByteArray &src, const QByteArray &staged, const Journal &journal)
{
    const SourceRemoval tree(journal, staged);
    FolderTrail sources(HeldFolderLevels);
    FolderTrail copies(HeldFolderLevels);
    sources.enter(fsys().open(parentOf(src).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    copies.enter(fsys().open(parentOf(staged).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    CheckFailure failure;
    bool ok = true;
    for (const int i : tree.topItems) {
        if (!copiedAsItWas(sources.current(), copies.current(), i, journal)) {
            failure = {journal.copiedItems.at(i).first, EngineTexts::CopyDiffers};
            ok = false;
            break;
        }
    }
    if (ok && !journal.sourceFolders.isEmpty())
        ok = checkFolder(sources, copies, 0, tree, &failure);
    if (!ok) {
        reportError(failure.path, EngineTexts::ActionMove, EIO, failure.reason, false);
        setFailed();
    }
    return ok;
}

Flow Job::removeSources(const QByteArray &src, const Journal &journal, const QPair<QByteArray, QByteArray> &placed,
                        int skippedBefore)
{
    SourceRemoval removal(journal, placed.second);
    removal.skippedSome = m_skipped != skippedBefore;
    // The folder the user named the source in: looked up by its path once.
    const int parentFd = fsys().open(parentOf(src).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return stepFailed(src, EngineTexts::ActionRemoveSource, errno, QString(), false);
    FolderTrail sources(HeldFolderLevels);
    FolderTrail copies(HeldFolderLevels);
    sources.enter(parentFd);
    copies.enter(fsys().open(parentOf(placed.second).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    Flow flow = removeSourceItems(sources.current(), copies.current(), removal.topItems, removal, false);
    if (flow != Flow::Stop && !journal.sourceFolders.isEmpty())
        flow = removeSourceFolder(sources, copies, 0, removal);
    if (flow == Flow::Stop)
        return flow;
    return m_skipped != skippedBefore ? Flow::Skip : Flow::Continue;
}

Flow Job::removeSourceFolder(FolderTrail &sources, FolderTrail &copies, int index, SourceRemoval &removal)
{
    const SourceFolder &folder = removal.journal.sourceFolders.at(index);
    const QByteArray name = baseNameOf(folder.path);
    const auto isTheFolder = [&](const struct stat &st) {
        return S_ISDIR(st.st_mode) && st.st_dev == folder.device && st.st_ino == folder.inode;
    };
    const int fd = sources.openBelow(name.constData());
    struct stat st;
    if (fd < 0 || fsys().fstat(fd, &st) != 0 || !isTheFolder(st)) {
        // A link or another folder in its place: nothing under that name is ours.
        if (fd >= 0)
            fsys().close(fd);
        return stepFailed(folder.path, EngineTexts::ActionRemoveSourceFolder, 0, EngineTexts::SourceSwapped, false);
    }
    sources.enter(fd);
    copies.enter(copies.openBelow(removal.copyFolderName(index).constData()));
    const QList<int> &items = removal.items.at(index);
    if (!items.isEmpty())
        removal.listPlaced(copies.current());
    Flow flow = removeSourceItems(sources.current(), copies.current(), items, removal, true);
    const QList<int> &subfolders = removal.subfolders.at(index);
    for (auto it = subfolders.crbegin(); flow != Flow::Stop && it != subfolders.crend(); ++it) {
        if (removeSourceFolder(sources, copies, *it, removal) == Flow::Stop)
            flow = Flow::Stop;
    }
    // The folders above may have been closed meanwhile: they are open again now.
    const bool sourceBack = sources.leave();
    const bool copyBack = copies.leave();
    if (flow == Flow::Stop)
        return flow;
    if (!sourceBack || !copyBack) {
        // Moved away meanwhile: nothing more is removed through it.
        reportError(parentOf(folder.path), EngineTexts::ActionRemoveSourceFolder, ENOENT, EngineTexts::FolderMovedAway,
                    false);
        setFailed();
        return Flow::Stop;
    }
    const int parentFd = sources.current();
    if (fsys().fstatat(parentFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !isTheFolder(st))
        return stepFailed(folder.path, EngineTexts::ActionRemoveSourceFolder, 0, EngineTexts::SourceSwapped, false);
    if (fsys().unlinkat(parentFd, name.constData(), AT_REMOVEDIR) == 0)
        return Flow::Continue;
    const int err = errno;
    // A folder that still holds skipped items stays, with them.
    const bool holdsSkipped = (removal.skippedSome || m_skipped > 0) && (err == ENOTEMPTY || err == EEXIST);
    if (holdsSkipped)
        return Flow::Continue;
    return stepFailed(folder.path, EngineTexts::ActionRemoveSourceFolder, err, QString(), false);
}

Flow Job::removeSourceItems(int dirFd, int copyDir, const QList<int> &items, SourceRemoval &removal, bool listed)
{
    for (const int i : items) {
        const QByteArray &path = removal.journal.copiedItems.at(i).first;
        const SourceState &state = removal.journal.copiedStates.at(i);
        const QByteArray name = baseNameOf(path);
        struct stat st;
        if (fsys().fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (stepFailed(path, EngineTexts::ActionRemoveSource, errno, QString(), false) == Flow::Stop)
                return Flow::Stop;
            continue;
        }
        const QPair<dev_t, ino_t> id {st.st_dev, st.st_ino};
        if (!state.unchanged(st, removal.linkRemoved.contains(id))) {
            // Written to, or another file put in its place, since it was copied.
            if (stepFailed(path, EngineTexts::ActionRemoveSource, 0, EngineTexts::SourceChangedNotRemoved, false)
                == Flow::Stop)
                return Flow::Stop;
            continue;
        }
        if (!removal.copyInPlace(copyDir, i, listed)) {
            if (stepFailed(path, EngineTexts::ActionRemoveSource, 0, EngineTexts::CopyNotInPlace, false) == Flow::Stop)
                return Flow::Stop;
            continue;
        }
        if (fsys().unlinkat(dirFd, name.constData(), 0) != 0) {
            if (stepFailed(path, EngineTexts::ActionRemoveSource, errno, QString(), false) == Flow::Stop)
                return Flow::Stop;
            continue;
        }
        if (st.st_nlink > 1)
            removal.linkRemoved.insert(id);
    }
    return Flow::Continue;
}

} // namespace EngineJob
