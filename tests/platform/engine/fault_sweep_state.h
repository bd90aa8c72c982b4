#pragma once

// What the fault sweep looks at after each injection: the trees of an
// operation's source, target and trash, taken as snapshots, and the rules
// every snapshot must keep whatever call failed or where the run stopped.

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FaultSweep {

// One entry of a tree as a snapshot keeps it.
struct Entry
{
    char type = '?'; // 'f' file, 'd' folder, 'l' link
    QByteArray data; // a file's bytes (big ones by size and digest), a link's target
    mode_t mode = 0;
    qint64 mtimeNs = 0;
    nlink_t links = 0;
};

// Every entry under a folder, by its path relative to it.
using Tree = QMap<QByteArray, Entry>;

// A file's bytes; past 4 KiB its size and two hashes stand for them, so
// that the many snapshots of the sweep stay cheap.
inline QByteArray readAll(int fd, qint64 size)
{
    QByteArray data(qsizetype(size), Qt::Uninitialized);
    qsizetype done = 0;
    for (ssize_t n; done < data.size() && (n = read(fd, data.data() + done, size_t(data.size() - done))) > 0;)
        done += n;
    data.truncate(done);
    char more;
    if (read(fd, &more, 1) > 0)
        data.append(more); // grew meanwhile: differs from any whole file
    if (data.size() <= 4096)
        return data;
    return '#' + QByteArray::number(data.size()) + ':' + QByteArray::number(qHash(data, 1)) + ':'
        + QByteArray::number(qHash(data, 2));
}

inline void walk(int dirFd, const QByteArray &prefix, Tree *tree)
{
    DIR *dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return;
    }
    while (const dirent *d = readdir(dir)) {
        const QByteArray name(d->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        Entry entry;
        entry.mode = st.st_mode & 07777;
        entry.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        entry.links = st.st_nlink;
        const QByteArray path = prefix + name;
        if (S_ISDIR(st.st_mode)) {
            entry.type = 'd';
            const int child = openat(dirfd(dir), d->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                walk(child, path + '/', tree);
        } else if (S_ISLNK(st.st_mode)) {
            entry.type = 'l';
            char target[4096];
            const ssize_t n = readlinkat(dirfd(dir), d->d_name, target, sizeof target);
            entry.data = QByteArray(target, n > 0 ? int(n) : 0);
        } else if (S_ISREG(st.st_mode)) {
            entry.type = 'f';
            const int fd = openat(dirfd(dir), d->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) {
                entry.data = readAll(fd, st.st_size);
                close(fd);
            }
        }
        tree->insert(path, entry);
    }
    closedir(dir);
}

inline Tree snapshot(const QByteArray &root)
{
    Tree tree;
    const int fd = open(root.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        walk(fd, QByteArray(), &tree);
    return tree;
}

// The places of one run: its source folder, its target folder, its trash.
struct World
{
    Tree source;
    Tree target;
    Tree trash; // files/… and info/… of the trash
};

inline bool temporary(const QByteArray &path)
{
    for (const QByteArray &part : path.split('/')) {
        if (part.startsWith(".korvan-"))
            return true;
    }
    return false;
}

// Which temporaries may be left: none; those of a process that is gone,
// which the next operation there removes (Abandoned); what a kill leaves
// before the rerun: those, unfinished marks of folders (a rerun finishes
// them) and info files whose item never came (Killed); where the removal of
// a temporary was itself refused: ours too, and marks (Refused).
enum class Leftovers { None, Abandoned, Killed, Refused };

inline bool allowedLeftover(const QByteArray &path, Leftovers allowed)
{
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    if (allowed == Leftovers::None)
        return false;
    if (name == ".korvan-unfinished")
        return allowed == Leftovers::Killed || allowed == Leftovers::Refused;
    const pid_t pid = name.startsWith(".korvan-") && name.endsWith(".part")
        ? pid_t(name.mid(8).split('-').value(0).toLongLong())
        : 0;
    if (pid > 0 && allowed == Leftovers::Refused)
        return true;
    return pid > 0 && kill(pid, 0) != 0 && errno == ESRCH;
}

// The bytes of every file in the world (sources, targets, trash).
inline QSet<QByteArray> contents(const World &world)
{
    QSet<QByteArray> all;
    for (const Tree *tree : {&world.source, &world.target, &world.trash}) {
        for (const Entry &entry : *tree) {
            if (entry.type == 'f')
                all.insert(entry.data);
        }
    }
    return all;
}

// The entry at path is an allowed leftover or lies inside one.
inline bool leftoverAllowedAt(const QByteArray &path, Leftovers allowed)
{
    for (int end = path.indexOf('/'); end >= 0; end = path.indexOf('/', end + 1)) {
        if (allowedLeftover(path.left(end), allowed))
            return true;
    }
    return allowedLeftover(path, allowed);
}

// The rules a world must keep after an injected failure or a kill; allowed:
// the temporaries that may be left. before: the world the operation started
// from. Returns the rules broken, one line each.
inline QStringList brokenRules(const World &before, const World &after, Leftovers allowed)
{
    QStringList broken;
    const QSet<QByteArray> now = contents(after);
    // Every byte of every source, and what the target held, is still somewhere.
    for (const Tree *tree : {&before.source, &before.target}) {
        for (auto it = tree->begin(); it != tree->end(); ++it) {
            if (it->type == 'f' && !now.contains(it->data))
                broken << QStringLiteral("lost the content of %1").arg(QString::fromUtf8(it.key()));
        }
    }
    // No final name holds partial content: each file is a whole source or a whole old target.
    QSet<QByteArray> whole;
    for (const Tree *tree : {&before.source, &before.target}) {
        for (const Entry &entry : *tree) {
            if (entry.type == 'f')
                whole.insert(entry.data);
        }
    }
    for (const Tree *tree : {&after.source, &after.target, &after.trash}) {
        for (auto it = tree->begin(); it != tree->end(); ++it) {
            if (temporary(it.key())) {
                if (!leftoverAllowedAt(it.key(), allowed))
                    broken << QStringLiteral("temporary left: %1").arg(QString::fromUtf8(it.key()));
                continue;
            }
            if (it->type == 'f' && !it.key().startsWith("info/") && !whole.contains(it->data))
                broken << QStringLiteral("partial content under %1").arg(QString::fromUtf8(it.key()));
        }
    }
    // The trash as trash-list reads it: each info file well-formed and with its item.
    static const QRegularExpression info(QStringLiteral("^\\[Trash Info\\]\nPath=([^\n]+)\n"
                                                        "DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$"));
    for (auto it = after.trash.begin(); it != after.trash.end(); ++it) {
        const QByteArray &key = it.key();
        if (key.startsWith("info/") && key.endsWith(".trashinfo") && !temporary(key)) {
            const QByteArray item = "files/" + key.mid(5, key.size() - 5 - 10);
            const auto match = info.match(QString::fromUtf8(it->data));
            if (!match.hasMatch() || QUrl::fromPercentEncoding(match.captured(1).toUtf8()).isEmpty())
                broken << QStringLiteral("trash info not readable: %1").arg(QString::fromUtf8(key));
            if (!after.trash.contains(item) && allowed != Leftovers::Killed)
                broken << QStringLiteral("trash info without its item: %1").arg(QString::fromUtf8(key));
        } else if (key.startsWith("files/") && key.count('/') == 1
                   && !after.trash.contains("info/" + key.mid(6) + ".trashinfo")) {
            broken << QStringLiteral("trashed item without its info: %1").arg(QString::fromUtf8(key));
        }
    }
    return broken;
}

// Where two trees differ: content and kind always; mode, time and links
// of files and links where metadata counts.
inline QStringList differences(const Tree &expected, const Tree &actual, bool metadata, const char *where,
                               Leftovers allowed = Leftovers::None)
{
    QStringList found;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const auto other = actual.find(it.key());
        const QString path = QStringLiteral("%1/%2").arg(QLatin1String(where), QString::fromUtf8(it.key()));
        if (other == actual.end()) {
            found << QStringLiteral("missing %1").arg(path);
        } else if (other->type != it->type || (it->type != 'd' && other->data != it->data)) {
            found << QStringLiteral("other content at %1").arg(path);
        } else if (metadata && it->type == 'f'
                   && (other->mode != it->mode || other->mtimeNs != it->mtimeNs || other->links != it->links)) {
            found << QStringLiteral("other mode, time or links at %1").arg(path);
        } else if (metadata && it->type == 'd' && other->mode != it->mode) {
            found << QStringLiteral("other folder mode at %1").arg(path);
        }
    }
    for (auto it = actual.begin(); it != actual.end(); ++it) {
        if (leftoverAllowedAt(it.key(), allowed))
            continue;
        if (!expected.contains(it.key()))
            found << QStringLiteral("extra %1/%2").arg(QLatin1String(where), QString::fromUtf8(it.key()));
    }
    return found;
}

// The files (and links) of actual that hold what an uninterrupted run puts
// there but not the mode or time it gives them: a copy counts as complete
// only with its metadata.
inline QStringList incompleteMetadata(const Tree &expected, const Tree &actual, const char *where)
{
    QStringList found;
    for (auto it = actual.begin(); it != actual.end(); ++it) {
        const auto wanted = expected.find(it.key());
        if (wanted == expected.end() || it->type == 'd' || wanted->type != it->type || wanted->data != it->data)
            continue;
        if (it->mode != wanted->mode || it->mtimeNs != wanted->mtimeNs)
            found << QStringLiteral("a complete copy without its mode or time at %1/%2")
                         .arg(QLatin1String(where), QString::fromUtf8(it.key()));
    }
    return found;
}

// The trash's items by content: names and dates may differ from run to run.
// extra: files the trash may hold besides (whole copies a rerun replaced).
inline QStringList trashDifferences(const Tree &expected, const Tree &actual, const QSet<QByteArray> &extra = {})
{
    QMap<QByteArray, int> want, have;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (it.key().startsWith("files/") && it->type == 'f')
            want[it->data]++;
    }
    for (auto it = actual.begin(); it != actual.end(); ++it) {
        if (it.key().startsWith("files/") && it->type == 'f' && (!extra.contains(it->data) || want.contains(it->data)))
            have[it->data]++;
    }
    return want == have ? QStringList() : QStringList(QStringLiteral("the trash holds other files"));
}

} // namespace FaultSweep
