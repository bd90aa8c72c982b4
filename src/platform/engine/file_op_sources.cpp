// Phase 4 of a job, its last step (see file_op_job.h): once the copy of a
// cross-volume move is in place, its sources are removed through the
// descriptors of their folders (openat/unlinkat, never following a link),
// and an entry only while it is still the one that was copied.
#include "platform/engine/file_op_job.h"

#include "platform/engine/engine_texts.h"

#include <QSet>

#include <cerrno>

using namespace FsUtil;

namespace EngineJob {

// The copied items grouped by the folder that holds them, found once by
// path, then reached only through the folders' descriptors.
struct SourceRemoval
{
    const Journal &journal;
    QList<QList<int>> items; // per source folder: indices into journal.copiedItems
    QList<QList<int>> subfolders; // per source folder: indices into journal.sourceFolders
    QList<int> topItems; // beside the moved item: a file or link moved on its own
    // Files with more names, one of which we removed: that moved their
    // change time on, which is no change of theirs.
    QSet<QPair<dev_t, ino_t>> linkRemoved;
    bool skippedSome = false;
    QPair<QByteArray, QByteArray> placed; // the staged copy's path, and where it was put

    // The names in the folder a folder's copy was put as, listed (a volume
    // may lose what a renamed folder holds while it still finds it by name).
    QSet<QByteArray> placedNames;

    QByteArray placedPath(const QByteArray &staged) const { return placed.second + staged.mid(placed.first.size()); }
    void listPlaced(const QByteArray &stagedFolder)
    {
        placedNames.clear();
        QList<QByteArray> names;
        int err = 0;
        const int fd = open(placedPath(stagedFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0 && Job::listDirAt(fd, &names, &err))
            placedNames = QSet<QByteArray>(names.cbegin(), names.cend());
        if (fd >= 0)
            close(fd);
    }
    // Whether the copy of item i is where it was put, as it was written.
    bool copyInPlace(int i, bool listed) const
    {
        const QByteArray copy = placedPath(journal.copiedItems.at(i).second);
        const SourceState &state = journal.copiedStates.at(i);
        struct stat st;
        return (!listed || placedNames.contains(baseNameOf(copy))) && lstat(copy.constData(), &st) == 0
            && (!S_ISREG(st.st_mode) || qint64(st.st_size) == state.size);
    }

    SourceRemoval(const Journal &moved, const QPair<QByteArray, QByteArray> &where)
        : journal(moved)
        , items(moved.sourceFolders.size())
        , subfolders(moved.sourceFolders.size())
        , placed(where)
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

Flow Job::removeSources(const QByteArray &src, const Journal &journal, const QPair<QByteArray, QByteArray> &placed,
                        int skippedBefore)
{
    SourceRemoval removal(journal, placed);
    removal.skippedSome = m_skipped != skippedBefore;
    // The folder the user named the source in: looked up by its path once.
    const int parentFd = open(parentOf(src).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return stepFailed(src, EngineTexts::ActionRemoveSource, errno, QString(), false);
    Flow flow = removeSourceItems(parentFd, removal.topItems, removal, false);
    if (flow != Flow::Stop && !journal.sourceFolders.isEmpty())
        flow = removeSourceFolder(parentFd, 0, removal);
    close(parentFd);
    if (flow == Flow::Stop)
        return flow;
    return m_skipped != skippedBefore ? Flow::Skip : Flow::Continue;
}

Flow Job::removeSourceFolder(int parentFd, int index, SourceRemoval &removal)
{
    const SourceFolder &folder = removal.journal.sourceFolders.at(index);
    const QByteArray name = baseNameOf(folder.path);
    const auto isTheFolder = [&](const struct stat &st) {
        return S_ISDIR(st.st_mode) && st.st_dev == folder.device && st.st_ino == folder.inode;
    };
    const int fd = openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !isTheFolder(st)) {
        // A link or another folder in its place: nothing under that name is ours.
        if (fd >= 0)
            close(fd);
        return stepFailed(folder.path, EngineTexts::ActionRemoveSourceFolder, 0, EngineTexts::SourceSwapped, false);
    }
    const QList<int> &items = removal.items.at(index);
    if (!items.isEmpty())
        removal.listPlaced(parentOf(removal.journal.copiedItems.at(items.first()).second));
    Flow flow = removeSourceItems(fd, items, removal, true);
    const QList<int> &subfolders = removal.subfolders.at(index);
    for (auto it = subfolders.crbegin(); flow != Flow::Stop && it != subfolders.crend(); ++it) {
        if (removeSourceFolder(fd, *it, removal) == Flow::Stop)
            flow = Flow::Stop;
    }
    close(fd);
    if (flow == Flow::Stop)
        return flow;
    if (fstatat(parentFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !isTheFolder(st))
        return stepFailed(folder.path, EngineTexts::ActionRemoveSourceFolder, 0, EngineTexts::SourceSwapped, false);
    if (unlinkat(parentFd, name.constData(), AT_REMOVEDIR) == 0)
        return Flow::Continue;
    const int err = errno;
    // A folder that still holds skipped items stays, with them.
    const bool holdsSkipped = (removal.skippedSome || m_skipped > 0) && (err == ENOTEMPTY || err == EEXIST);
    if (holdsSkipped)
        return Flow::Continue;
    return stepFailed(folder.path, EngineTexts::ActionRemoveSourceFolder, err, QString(), false);
}

Flow Job::removeSourceItems(int dirFd, const QList<int> &items, SourceRemoval &removal, bool listed)
{
    for (const int i : items) {
        const QByteArray &path = removal.journal.copiedItems.at(i).first;
        const SourceState &state = removal.journal.copiedStates.at(i);
        const QByteArray name = baseNameOf(path);
        struct stat st;
        if (fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
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
        if (!removal.copyInPlace(i, listed)) {
            if (stepFailed(path, EngineTexts::ActionRemoveSource, 0, EngineTexts::CopyNotInPlace, false) == Flow::Stop)
                return Flow::Stop;
            continue;
        }
        if (unlinkat(dirFd, name.constData(), 0) != 0) {
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
