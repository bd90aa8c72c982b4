#include "platform/engine/file_system.h"
#include "platform/engine/trash.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/fs_util.h"
#include "platform/engine/trash_info.h"
#include "platform/engine/trash_places.h"

#include <QList>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace FsUtil;

using namespace TrashPlaces;

namespace {

// A trashed name plus ".trashinfo" must fit NAME_MAX (255) with room for
// a collision suffix, so long names are shortened before trying.
constexpr qsizetype MaxTrashNameBytes = 200;
constexpr int MaxCollisionTries = 10000;

bool isUnreservedByte(uchar c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-':
    case '_':
    case '.':
    case '!':
    case '~':
    case '*':
    case '\'':
    case '(':
    case ')':
    case '/': return true;
    default: return false;
    }
}

QString failureText(const QByteArray &path, const QString &why)
{
    return EngineTexts::TrashFailed.arg(displayPath(path), why);
}

TrashResult failed(const QByteArray &path, int errorCode, const QString &why)
{
    TrashResult result;
    result.errorCode = errorCode;
    result.reason = why;
    result.message = failureText(path, why);
    return result;
}

// "name" shortened to a byte length that leaves room for ".trashinfo" and a
// suffix, cutting at a UTF-8 character boundary and keeping a short extension.
QByteArray cappedName(const QByteArray &name)
{
    if (name.size() <= MaxTrashNameBytes)
        return name;
    QByteArray extension;
    const qsizetype dot = name.lastIndexOf('.');
    if (dot > 0 && name.size() - dot <= 16)
        extension = name.mid(dot);
    qsizetype keep = MaxTrashNameBytes - extension.size();
    while (keep > 0 && (uchar(name.at(keep)) & 0xC0) == 0x80)
        --keep;
    return name.left(keep) + extension;
}

QByteArray candidateName(const QByteArray &name, int attempt)
{
    if (attempt == 0)
        return name;
    QByteArray stem = name;
    QByteArray extension;
    const qsizetype dot = name.lastIndexOf('.');
    if (dot > 0 && name.size() - dot <= 16) {
        stem = name.left(dot);
        extension = name.mid(dot);
    }
    return stem + '.' + QByteArray::number(attempt + 1) + extension;
}

// The DeletionDate= value for now, in local time.
QByteArray deletionDateNow()
{
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char buffer[32];
    strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &local);
    return QByteArray(buffer);
}

} // namespace

namespace Trash {

QByteArray encodeInfoPath(const QByteArray &path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray encoded;
    encoded.reserve(path.size() * 3);
    for (const char ch : path) {
        const uchar c = uchar(ch);
        if (isUnreservedByte(c)) {
            encoded.append(ch);
        } else {
            encoded.append('%');
            encoded.append(hex[c >> 4]);
            encoded.append(hex[c & 0xF]);
        }
    }
    return encoded;
}

enum class TrashStep { Move, Check, Reserve };

// The entry's stat, refused when it is no longer the file that was checked.
static bool statEntry(const TrashEntry &entry, struct stat *st)
{
    if (fsys().fstatat(entry.dirFd, entry.name.constData(), st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (st->st_dev == entry.device && st->st_ino == entry.inode)
        return true;
    errno = ESTALE;
    return false;
}

// The real path of the folder open at dirFd, empty when it cannot be told.
static QByteArray folderPathOf(int dirFd)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", dirFd);
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t n = fsys().readlink(link, target.data(), size_t(target.size()));
    if (n <= 0 || n >= target.size() || target.at(0) != '/')
        return QByteArray();
    target.truncate(n);
    return target;
}

// Claims a free name in trash for the item (its info file written
// complete first) and moves the item there; Reserve only claims the name.
// Not ok: *lastError says why.
static TrashResult placeInTrash(const TrashDir &trash, const QByteArray &path, const QByteArray &name,
                                const QByteArray &content, TrashStep step, bool syncInfo, const TrashEntry *entry,
                                int *lastError)
{
    TrashInfo::removeAbandoned(trash.root);
    const QByteArray baseName = cappedName(name);
    for (int attempt = 0; attempt < MaxCollisionTries; ++attempt) {
        const QByteArray trashName = candidateName(baseName, attempt);
        const QByteArray infoFile = trash.root + "/info/" + trashName + ".trashinfo";
        const QByteArray filesEntry = trash.root + "/files/" + trashName;
        struct stat existing;
        if (fsys().lstat(filesEntry.constData(), &existing) == 0)
            continue; // an orphan without its info file still owns the name
        // The info file is claimed first, atomically: whoever names it owns the name.
        QByteArray pending;
        const int claimed = TrashInfo::claim(trash.root + "/info", trashName + ".trashinfo", content, syncInfo,
                                             &pending);
        if (claimed == EEXIST)
            continue;
        if (claimed != 0) {
            *lastError = claimed;
            return {};
        }
        TrashResult result;
        result.ok = true;
        result.trashedPath = filesEntry;
        result.infoPath = infoFile;
        result.pendingPath = pending;
        if (step == TrashStep::Reserve)
            return result;
        struct stat now;
        const bool moved = entry
            ? statEntry(*entry, &now) && renameNoReplaceAt(entry->dirFd, entry->name, AT_FDCWD, filesEntry) == 0
            : renameNoReplace(path, filesEntry) == 0;
        const int err = errno;
        if (!moved)
            fsys().unlink(infoFile.constData()); // the claim is dropped
        TrashInfo::settle(pending);
        if (moved)
            return result;
        *lastError = err;
        if (err != EEXIST)
            return {};
    }
    return {};
}

// An item to be trashed, and the trashes that may take it in turn.
struct TrashItem
{
    QByteArray path;
    QByteArray name;
    QByteArray canonicalItem;
    QByteArray homeTrash;
    QByteArray topDir;
    QList<bool> useHome; // the home trash, the volume's trash, in this order
};

// Checks the item (it must be absolute, exist, and be no trash) and finds
// the trashes that may take it; a failure when none can.
static std::optional<TrashResult> locateItem(const QByteArray &rawPath, const TrashEntry *entry, TrashItem *item)
{
    const QByteArray &path = item->path = stripTrailingSlashes(rawPath);
    if (!path.startsWith('/'))
        return failed(path, EINVAL, EngineTexts::TrashNotAbsolute);
    const QByteArray &name = item->name = baseNameOf(path);
    if (path == "/" || name.isEmpty() || name == "." || name == "..")
        return failed(path, EINVAL, EngineTexts::TrashBadPath);

    struct stat itemStat;
    if (entry ? !statEntry(*entry, &itemStat) : fsys().lstat(path.constData(), &itemStat) != 0) {
        if (errno == ESTALE)
            return failed(path, ESTALE, EngineTexts::TrashEntrySwapped);
        const int err = errno;
        return failed(path, err, errorText(err));
    }

    const QByteArray &homeTrash = item->homeTrash = homeTrashDir();
    if (homeTrash.isEmpty())
        return failed(path, ENOENT, EngineTexts::TrashNoHome);
    // The item's path is made canonical apart from its own name, so that a
    // symlink item is trashed itself and not its target.
    const QByteArray entryFolder = entry ? folderPathOf(entry->dirFd) : QByteArray();
    const QByteArray &canonicalItem = item->canonicalItem = entryFolder.isEmpty()
        ? joinPath(canonicalPath(parentOf(path)), name)
        : joinPath(entryFolder, entry->name);
    const QByteArray canonicalHomeTrash = canonicalPath(homeTrash);
    const QByteArray &topDir = item->topDir = mountPointOf(parentOf(canonicalItem));
    if (canonicalHomeTrash == canonicalItem || canonicalHomeTrash.startsWith(QByteArray(canonicalItem + '/'))
        || canonicalItem.startsWith(QByteArray(canonicalHomeTrash + '/'))
        || touchesTrash(canonicalItem, homeTrash, topDir))
        return failed(path, EINVAL, EngineTexts::InsideTrash);

    // The home trash serves the volume it lives on; find that volume from
    // its nearest existing ancestor, as the trash may not exist yet.
    QByteArray probe = homeTrash;
    struct stat homeStat;
    while (fsys().stat(probe.constData(), &homeStat) != 0 && probe != "/")
        probe = parentOf(probe);

    // The home trash first when it is on the item's volume; the volume's own
    // trash when it is not, or when a rename still crosses a mount (bind mounts
    // share st_dev). The volume trash is only made when it is reached.
    QList<bool> &useHome = item->useHome;
    if (homeStat.st_dev == itemStat.st_dev)
        useHome.append(true);
    if (homeStat.st_dev != itemStat.st_dev || mountPointOf(probe) != topDir)
        useHome.append(false);

    return std::nullopt;
}

// Finds (and makes when missing) the trash that would take the item and
// moves it there, or only looks (Check), or claims a name and writes the
// info file without moving anything (Reserve). entry: the item is that
// entry of an open folder, not a path to look up.
static TrashResult trashOrCheck(const QByteArray &rawPath, TrashStep step, bool syncInfo,
                                const TrashEntry *entry = nullptr)
{
    const bool onlyCheck = step == TrashStep::Check;
    TrashItem item;
    if (std::optional<TrashResult> refused = locateItem(rawPath, entry, &item))
        return *refused;
    const QByteArray &path = item.path;
    const QByteArray &homeTrash = item.homeTrash;
    const QByteArray &topDir = item.topDir;
    const QByteArray &canonicalItem = item.canonicalItem;
    const QByteArray &name = item.name;
    int lastError = 0;
    for (const bool home : item.useHome) {
        TrashDir trash;
        if (onlyCheck) {
            // Nothing is made: the target of a move stays exactly as it is.
            const int err = home ? checkTrashDir(homeTrash, false) : checkVolumeTrash(topDir);
            if (err == 0) {
                TrashResult result;
                result.ok = true;
                return result;
            }
            if (!home)
                return failed(path, err, EngineTexts::TrashNoVolumeTrash.arg(displayPath(topDir), errorText(err)));
            lastError = err;
            continue;
        }
        if (home) {
            const int err = makePath(homeTrash, 0700);
            if (err != 0 || (lastError = prepareTrashDir(homeTrash)) != 0) {
                lastError = err != 0 ? err : lastError;
                continue;
            }
            trash = {homeTrash, QByteArray()};
        } else {
            int volumeError = 0;
            trash = volumeTrash(topDir, &volumeError);
            if (trash.root.isEmpty()) {
                return failed(path, volumeError,
                              EngineTexts::TrashNoVolumeTrash.arg(displayPath(topDir), errorText(volumeError)));
            }
        }
        QByteArray infoPathValue;
        if (trash.topDir.isEmpty()) {
            infoPathValue = canonicalItem;
        } else {
            const QByteArray base = canonicalPath(trash.topDir);
            infoPathValue = canonicalItem.mid(base == "/" ? 1 : base.size() + 1);
        }
        const QByteArray content = "[Trash Info]\nPath=" + encodeInfoPath(infoPathValue)
            + "\nDeletionDate=" + deletionDateNow() + "\n";

        if (const TrashResult placed = placeInTrash(trash, path, name, content, step, syncInfo, entry, &lastError);
            placed.ok)
            return placed;
        if (lastError == 0)
            lastError = EEXIST;
    }
    return failed(path, lastError, errorText(lastError));
}

TrashResult moveToTrash(const QByteArray &path, bool syncInfo)
{
    return trashOrCheck(path, TrashStep::Move, syncInfo);
}

TrashResult moveEntryToTrash(const TrashEntry &entry, bool syncInfo)
{
    return trashOrCheck(entry.path, TrashStep::Move, syncInfo, &entry);
}

TrashResult checkTrashFor(const QByteArray &path)
{
    return trashOrCheck(path, TrashStep::Check, false);
}

TrashResult reserveInTrash(const QByteArray &path)
{
    return trashOrCheck(path, TrashStep::Reserve, false);
}

TrashResult moveEntryToReserved(const TrashResult &reserved, const TrashEntry &entry)
{
    struct stat st;
    if (!statEntry(entry, &st)) {
        const int err = errno;
        return failed(entry.path, err, err == ESTALE ? EngineTexts::TrashEntrySwapped : errorText(err));
    }
    if (renameNoReplaceAt(entry.dirFd, entry.name, AT_FDCWD, reserved.trashedPath) != 0) {
        const int err = errno;
        return failed(entry.path, err, errorText(err));
    }
    TrashInfo::settle(reserved.pendingPath);
    return reserved;
}

void releaseReserved(const TrashResult &reserved)
{
    if (!reserved.infoPath.isEmpty())
        fsys().unlink(reserved.infoPath.constData());
    TrashInfo::settle(reserved.pendingPath);
}

} // namespace Trash
