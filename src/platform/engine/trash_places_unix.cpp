#include "platform/engine/file_system.h"
#include "platform/engine/trash_places.h"

#include "platform/engine/fs_util.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace FsUtil;

namespace TrashPlaces {

// Makes dir (0700) unless it exists; it must then be a real directory.
static int ensurePrivateDir(const QByteArray &dir)
{
    if (fsys().mkdir(dir.constData(), 0700) == 0)
        return 0;
    if (errno != EEXIST)
        return errno;
    struct stat st;
    if (fsys().lstat(dir.constData(), &st) != 0)
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
    if (fsys().lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray own = joinPath(shared, uid);
        if (prepareTrashDir(own) == 0 && fsys().lstat(own.constData(), &st) == 0 && st.st_uid == getuid())
            return {own, topDir};
    }
    const QByteArray own = joinPath(topDir, ".Trash-" + uid);
    const int err = prepareTrashDir(own);
    if (err == 0 && fsys().lstat(own.constData(), &st) == 0 && st.st_uid == getuid())
        return {own, topDir};
    *errorCode = err != 0 ? err : EPERM;
    return {};
}

// 0 when dir is a folder we can write in, or could be made (its nearest
// existing ancestor is a folder we can write in); nothing is created.
static int usableOrCreatable(const QByteArray &dir)
{
    struct stat st;
    if (fsys().lstat(dir.constData(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
        return fsys().access(dir.constData(), W_OK | X_OK) == 0 ? 0 : errno;
    }
    if (errno != ENOENT || dir == "/")
        return errno;
    return usableOrCreatable(parentOf(dir));
}

// As prepareTrashDir, but only looks; owned: an existing root must be ours.
int checkTrashDir(const QByteArray &root, bool owned)
{
    struct stat st;
    if (owned && fsys().lstat(root.constData(), &st) == 0 && st.st_uid != getuid())
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
    if (fsys().lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)
        && checkTrashDir(joinPath(shared, uid), true) == 0)
        return 0;
    return checkTrashDir(joinPath(topDir, ".Trash-" + uid), true);
}

// Every mount point in /proc/self/mountinfo, with the device numbers (field
// 3, "major:minor") when devices is given.
static QList<QByteArray> mountPoints(QList<dev_t> *devices = nullptr)
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

static bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The identities of path and of each of its ancestors up to "/". A name
// that does not exist (yet) is left out.
static QList<struct stat> selfAndAncestors(QByteArray path)
{
    QList<struct stat> chain;
    for (;;) {
        struct stat st;
        if (fsys().lstat(path.constData(), &st) == 0)
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
        if (fsys().lstat(root.constData(), &rootSt) != 0 || !S_ISDIR(rootSt.st_mode))
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

} // namespace TrashPlaces
