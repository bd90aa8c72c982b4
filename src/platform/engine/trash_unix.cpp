#include "platform/engine/trash.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/fs_util.h"

#include <QFile>
#include <QList>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace FsUtil;

namespace {

// A trashed name plus ".trashinfo" must fit NAME_MAX (255) with room for
// a collision suffix, so long names are shortened before trying.
constexpr qsizetype MaxTrashNameBytes = 200;
constexpr int MaxCollisionTries = 10000;

struct TrashDir
{
    QByteArray root; // .../Trash, .../.Trash/$uid or .../.Trash-$uid
    QByteArray topDir; // empty for the home trash (Path is then absolute)
};

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

// Makes dir (0700) unless it exists; it must then be a real directory.
int ensurePrivateDir(const QByteArray &dir)
{
    if (mkdir(dir.constData(), 0700) == 0)
        return 0;
    if (errno != EEXIST)
        return errno;
    struct stat st;
    if (lstat(dir.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int prepareTrashDir(const QByteArray &root)
{
    int err = ensurePrivateDir(root);
    if (err == 0)
        err = ensurePrivateDir(root + "/files");
    if (err == 0)
        err = ensurePrivateDir(root + "/info");
    return err;
}

// The trash of another volume, created when missing; empty root on failure.
TrashDir volumeTrash(const QByteArray &topDir, int *errorCode)
{
    const QByteArray uid = QByteArray::number(uint(getuid()));
    const QByteArray shared = joinPath(topDir, ".Trash");
    struct stat st;
    // An administrator-made .Trash is used only when it is a real directory
    // with the sticky bit; a symlink or a plain folder could be a trap.
    if (lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray own = joinPath(shared, uid);
        if (prepareTrashDir(own) == 0 && lstat(own.constData(), &st) == 0 && st.st_uid == getuid())
            return {own, topDir};
    }
    const QByteArray own = joinPath(topDir, ".Trash-" + uid);
    const int err = prepareTrashDir(own);
    if (err == 0 && lstat(own.constData(), &st) == 0 && st.st_uid == getuid())
        return {own, topDir};
    *errorCode = err != 0 ? err : EPERM;
    return {};
}

// 0 when dir is a folder we can write in, or could be made (its nearest
// existing ancestor is a folder we can write in); nothing is created.
int usableOrCreatable(const QByteArray &dir)
{
    struct stat st;
    if (lstat(dir.constData(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
        return access(dir.constData(), W_OK | X_OK) == 0 ? 0 : errno;
    }
    if (errno != ENOENT || dir == "/")
        return errno;
    return usableOrCreatable(parentOf(dir));
}

// As prepareTrashDir, but only looks; owned: an existing root must be ours.
int checkTrashDir(const QByteArray &root, bool owned)
{
    struct stat st;
    if (owned && lstat(root.constData(), &st) == 0 && st.st_uid != getuid())
        return EPERM;
    for (const QByteArray &dir : {root, QByteArray(root + "/files"), QByteArray(root + "/info")}) {
        if (const int err = usableOrCreatable(dir))
            return err;
    }
    return 0;
}

// As volumeTrash, but only looks.
int checkVolumeTrash(const QByteArray &topDir)
{
    const QByteArray uid = QByteArray::number(uint(getuid()));
    const QByteArray shared = joinPath(topDir, ".Trash");
    struct stat st;
    if (lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)
        && checkTrashDir(joinPath(shared, uid), true) == 0)
        return 0;
    return checkTrashDir(joinPath(topDir, ".Trash-" + uid), true);
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

// Every mount point in /proc/self/mountinfo, with the device numbers (field
// 3, "major:minor") when devices is given.
QList<QByteArray> mountPoints(QList<dev_t> *devices = nullptr)
{
    QList<QByteArray> points;
    QFile mountInfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountInfo.open(QIODevice::ReadOnly))
        return points;
    const QList<QByteArray> lines = mountInfo.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        // Field 5 is the mount point, with space, tab, newline and '\' octal-escaped.
        const QByteArray &raw = fields.at(4);
        QByteArray point;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw.at(i) == '\\' && i + 3 < raw.size()) {
                point.append(char(raw.mid(i + 1, 3).toInt(nullptr, 8)));
                i += 3;
            } else {
                point.append(raw.at(i));
            }
        }
        points.append(point);
        if (devices) {
            const QList<QByteArray> numbers = fields.at(2).split(':');
            devices->append(numbers.size() == 2 ? makedev(numbers.at(0).toUInt(), numbers.at(1).toUInt()) : 0);
        }
    }
    return points;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The identities of path and of each of its ancestors up to "/". A name
// that does not exist (yet) is left out.
QList<struct stat> selfAndAncestors(QByteArray path)
{
    QList<struct stat> chain;
    for (;;) {
        struct stat st;
        if (lstat(path.constData(), &st) == 0)
            chain.append(st);
        if (path == "/" || path.isEmpty())
            break;
        path = parentOf(path);
    }
    return chain;
}

// True when the item is a trash folder a trash of ours would use (the home
// trash, $topdir/.Trash/$uid, $topdir/.Trash-$uid), lies inside one, or holds
// one. Decided by st_dev/st_ino, so bind mounts and other aliases count too.
bool touchesTrash(const QByteArray &canonicalItem, const QByteArray &homeTrash, const QByteArray &topDir)
{
    const QList<struct stat> itemChain = selfAndAncestors(canonicalItem);
    if (itemChain.isEmpty())
        return false;
    const struct stat &item = itemChain.first();
    // The volume's trash folders sit at the top of every mount of it: a bind
    // mount of a folder inside a trash has its top mounted elsewhere.
    QList<QByteArray> tops {topDir};
    QList<dev_t> devices;
    const QList<QByteArray> points = mountPoints(&devices);
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (devices.at(i) == item.st_dev)
            tops.append(points.at(i));
    }
    const QByteArray uid = QByteArray::number(uint(getuid()));
    QList<QByteArray> roots {canonicalPath(homeTrash)};
    for (const QByteArray &top : std::as_const(tops)) {
        roots.append(joinPath(top, ".Trash/" + uid));
        roots.append(joinPath(top, ".Trash-" + uid));
    }
    // A bind mount of files/ or info/ reaches them without passing the root.
    for (qsizetype i = roots.size() - 1; i >= 0; --i) {
        roots.append(roots.at(i) + "/files");
        roots.append(roots.at(i) + "/info");
    }
    for (const QByteArray &root : roots) {
        struct stat rootSt;
        if (lstat(root.constData(), &rootSt) != 0 || !S_ISDIR(rootSt.st_mode))
            continue;
        for (const struct stat &ancestor : itemChain) {
            if (sameFile(ancestor, rootSt))
                return true; // the trash itself, or something inside it
        }
        if (S_ISDIR(item.st_mode)) {
            const QList<struct stat> rootChain = selfAndAncestors(parentOf(root));
            for (const struct stat &ancestor : rootChain) {
                if (sameFile(ancestor, item))
                    return true; // a folder holding the trash
            }
        }
    }
    return false;
}

// $XDG_DATA_HOME/Trash, or ~/.local/share/Trash; read at every call.
QByteArray homeTrashDir()
{
    QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    // The basedir rules say a relative value is invalid and must be ignored.
    if (dataHome.isEmpty() || !dataHome.startsWith('/')) {
        QByteArray home = qgetenv("HOME");
        if (home.isEmpty())
            return QByteArray();
        dataHome = joinPath(home, ".local/share");
    }
    return joinPath(stripTrailingSlashes(dataHome), "Trash");
}

// The mount point of the volume holding path (which must exist).
QByteArray mountPointOf(const QByteArray &path)
{
    const QByteArray canonical = canonicalPath(path);
    QByteArray best = "/";
    for (const QByteArray &point : mountPoints()) {
        const bool contains = point == "/" || canonical == point || canonical.startsWith(QByteArray(point + '/'));
        if (contains && point.size() >= best.size())
            best = point;
    }
    return best;
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

// Finds (and makes when missing) the trash that would take the item and,
// unless onlyCheck, moves the item there.
static TrashResult trashOrCheck(const QByteArray &rawPath, bool onlyCheck, bool syncInfo)
{
    const QByteArray path = stripTrailingSlashes(rawPath);
    if (!path.startsWith('/'))
        return failed(path, EINVAL, EngineTexts::TrashNotAbsolute);
    const QByteArray name = baseNameOf(path);
    if (path == "/" || name.isEmpty() || name == "." || name == "..")
        return failed(path, EINVAL, EngineTexts::TrashBadPath);

    struct stat itemStat;
    if (lstat(path.constData(), &itemStat) != 0) {
        const int err = errno;
        return failed(path, err, errorText(err));
    }

    const QByteArray homeTrash = homeTrashDir();
    if (homeTrash.isEmpty())
        return failed(path, ENOENT, EngineTexts::TrashNoHome);
    // The item's path is made canonical apart from its own name, so that a
    // symlink item is trashed itself and not its target.
    const QByteArray canonicalItem = joinPath(canonicalPath(parentOf(path)), name);
    const QByteArray canonicalHomeTrash = canonicalPath(homeTrash);
    const QByteArray topDir = mountPointOf(parentOf(canonicalItem));
    if (canonicalHomeTrash == canonicalItem || canonicalHomeTrash.startsWith(QByteArray(canonicalItem + '/'))
        || canonicalItem.startsWith(QByteArray(canonicalHomeTrash + '/'))
        || touchesTrash(canonicalItem, homeTrash, topDir))
        return failed(path, EINVAL, EngineTexts::InsideTrash);

    // The home trash serves the volume it lives on; find that volume from
    // its nearest existing ancestor, as the trash may not exist yet.
    QByteArray probe = homeTrash;
    struct stat homeStat;
    while (stat(probe.constData(), &homeStat) != 0 && probe != "/")
        probe = parentOf(probe);

    // The home trash first when it is on the item's volume; the volume's own
    // trash when it is not, or when a rename still crosses a mount (bind mounts
    // share st_dev). The volume trash is only made when it is reached.
    QList<bool> useHome;
    if (homeStat.st_dev == itemStat.st_dev)
        useHome.append(true);
    if (homeStat.st_dev != itemStat.st_dev || mountPointOf(probe) != topDir)
        useHome.append(false);

    int lastError = 0;
    for (const bool home : useHome) {
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

        const QByteArray baseName = cappedName(name);
        for (int attempt = 0; attempt < MaxCollisionTries; ++attempt) {
            const QByteArray trashName = candidateName(baseName, attempt);
            const QByteArray infoFile = trash.root + "/info/" + trashName + ".trashinfo";
            const QByteArray filesEntry = trash.root + "/files/" + trashName;
            struct stat existing;
            if (lstat(filesEntry.constData(), &existing) == 0)
                continue; // an orphan without its info file still owns the name
            // The info file is claimed first, atomically: whoever creates it owns the name.
            const int fd = open(infoFile.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                if (errno == EEXIST)
                    continue;
                lastError = errno;
                break;
            }
            auto removeInfo = qScopeGuard([&] { unlink(infoFile.constData()); });
            qsizetype written = 0;
            while (written < content.size()) {
                const ssize_t n = write(fd, content.constData() + written, size_t(content.size() - written));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                written += n;
            }
            const bool infoOk = written == content.size() && (!syncInfo || fsync(fd) == 0);
            const int infoError = errno;
            close(fd);
            if (!infoOk) {
                lastError = infoError;
                break;
            }
            if (renameNoReplace(path, filesEntry) != 0) {
                lastError = errno;
                if (lastError == EEXIST)
                    continue; // removeInfo drops the claim; try the next name
                break;
            }
            removeInfo.dismiss();
            TrashResult result;
            result.ok = true;
            result.trashedPath = filesEntry;
            result.infoPath = infoFile;
            return result;
        }
        if (lastError == 0)
            lastError = EEXIST;
    }
    return failed(path, lastError, errorText(lastError));
}

TrashResult moveToTrash(const QByteArray &path, bool syncInfo)
{
    return trashOrCheck(path, false, syncInfo);
}

TrashResult checkTrashFor(const QByteArray &path)
{
    return trashOrCheck(path, true, false);
}

} // namespace Trash
