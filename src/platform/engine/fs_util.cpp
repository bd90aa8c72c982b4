#include "platform/engine/fs_util.h"
#include "platform/engine/file_system.h"

#include "platform/engine/engine_texts.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace FsUtil {

QString errorText(int errorCode)
{
    switch (errorCode) {
    case ENOSPC: return EngineTexts::NoSpace;
    case EACCES:
    case EPERM: return EngineTexts::NoPermission;
    case EROFS: return EngineTexts::ReadOnly;
    case ENOENT: return EngineTexts::NotFound;
    case EEXIST: return EngineTexts::AlreadyExists;
    case ENAMETOOLONG: return EngineTexts::NameTooLong;
    case EBUSY:
    case ETXTBSY: return EngineTexts::Busy;
    case ENOTEMPTY: return EngineTexts::NotEmpty;
    case EMLINK: return EngineTexts::TooManyLinks;
    case ELOOP: return EngineTexts::TooManySymlinks;
    case EDQUOT: return EngineTexts::QuotaExceeded;
    case EIO: return EngineTexts::IoError;
    case ENOTDIR: return EngineTexts::NotAFolder;
    case EISDIR: return EngineTexts::IsAFolder;
    case EFBIG: return EngineTexts::FileTooBig;
    case ECANCELED: return EngineTexts::Cancelled;
    case EXDEV: return EngineTexts::OtherVolume;
    case EUCLEAN: return EngineTexts::DamagedFileSystem;
    case EBADMSG: return EngineTexts::DamagedData;
    case ESTALE: return EngineTexts::StaleHandle;
    case ENOTCONN:
    case ECONNRESET:
    case ECONNABORTED:
    case EREMOTEIO: return EngineTexts::NotConnected;
    case ETIMEDOUT: return EngineTexts::TimedOut;
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH: return EngineTexts::HostUnreachable;
    case ENOMEDIUM: return EngineTexts::NoMedium;
    case ENXIO:
    case ENODEV: return EngineTexts::NoDevice;
    case EMFILE:
    case ENFILE: return EngineTexts::TooManyOpenFiles;
    case ENOMEM: return EngineTexts::OutOfMemory;
    case EOPNOTSUPP:
    case ENOSYS:
    case ENOTTY: return EngineTexts::NotSupported;
    case EINVAL: return EngineTexts::InvalidArgument;
    case EOVERFLOW: return EngineTexts::ValueTooLarge;
    case ENODATA: return EngineTexts::NoData;
    case EAGAIN: return EngineTexts::TryAgain;
    case EINTR: return EngineTexts::Interrupted;
    default: break;
    }
    char buffer[256];
    // GNU strerror_r returns the text, which may not live in buffer.
    const char *text = strerror_r(errorCode, buffer, sizeof buffer);
    return EngineTexts::SystemError.arg(QString::fromLocal8Bit(text));
}

QString displayPath(const QByteArray &path)
{
    return QFile::decodeName(path);
}

namespace {

// Length of the valid UTF-8 sequence starting at i, or 0 when it is invalid.
int validUtf8Length(const QByteArray &bytes, qsizetype i)
{
    const auto byteAt = [&](qsizetype k) { return uchar(bytes.at(k)); };
    const uchar c = byteAt(i);
    if (c < 0x80)
        return 1;
    int length = 0;
    uint codePoint = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        codePoint = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        codePoint = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        codePoint = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        const uchar cc = byteAt(i + k);
        if ((cc & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
    if ((length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000)
        || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

QString decodePath(const QByteArray &path)
{
    QString text;
    text.reserve(path.size());
    qsizetype i = 0;
    while (i < path.size()) {
        const int length = validUtf8Length(path, i);
        if (length == 0) {
            text.append(QChar(char16_t(0xDC00 + uchar(path.at(i)))));
            ++i;
        } else {
            text.append(QString::fromUtf8(path.constData() + i, length));
            i += length;
        }
    }
    return text;
}

QByteArray encodePath(const QString &path)
{
    QByteArray bytes;
    bytes.reserve(path.size() * 3);
    qsizetype runStart = 0;
    const auto flush = [&](qsizetype end) {
        if (end > runStart)
            bytes.append(QStringView(path).mid(runStart, end - runStart).toUtf8());
    };
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t u = path.at(i).unicode();
        const bool lowSurrogate = u >= 0xDC80 && u <= 0xDCFF;
        const bool paired = lowSurrogate && i > 0 && path.at(i - 1).isHighSurrogate();
        if (lowSurrogate && !paired) {
            flush(i);
            bytes.append(char(u - 0xDC00));
            runStart = i + 1;
        }
    }
    flush(path.size());
    return bytes;
}

QByteArray stripTrailingSlashes(const QByteArray &path)
{
    QByteArray result = path;
    while (result.size() > 1 && result.endsWith('/'))
        result.chop(1);
    return result;
}

QByteArray parentOf(const QByteArray &path)
{
    const QByteArray clean = stripTrailingSlashes(path);
    const qsizetype slash = clean.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return clean.left(slash);
}

QByteArray baseNameOf(const QByteArray &path)
{
    const QByteArray clean = stripTrailingSlashes(path);
    return clean.mid(clean.lastIndexOf('/') + 1);
}

QByteArray joinPath(const QByteArray &dir, const QByteArray &name)
{
    if (dir.endsWith('/'))
        return dir + name;
    return dir + '/' + name;
}

QByteArray canonicalPath(const QByteArray &path)
{
    QByteArray existing = stripTrailingSlashes(path);
    QList<QByteArray> missing;
    for (;;) {
        char *resolved = fsys().realpath(existing.constData(), nullptr);
        if (resolved) {
            QByteArray result(resolved);
            free(resolved);
            for (auto it = missing.crbegin(); it != missing.crend(); ++it) {
                if (*it == "." || it->isEmpty())
                    continue;
                if (*it == "..")
                    result = parentOf(result);
                else
                    result = joinPath(result, *it);
            }
            return result;
        }
        if (existing == "/" || existing == "." || existing.isEmpty())
            return stripTrailingSlashes(path);
        missing.append(baseNameOf(existing));
        existing = parentOf(existing);
    }
}

int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    return renameNoReplaceAt(AT_FDCWD, from, AT_FDCWD, to);
}

int renameNoReplaceAt(int fromDir, const QByteArray &from, int toDir, const QByteArray &to)
{
#ifdef RENAME_NOREPLACE
    if (fsys().renameat2(fromDir, from.constData(), toDir, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // File systems without RENAME_NOREPLACE: check, then rename. The window
    // is tiny and only matters when something else writes the same name.
    struct stat st;
    if (fsys().fstatat(toDir, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return fsys().renameat(fromDir, from.constData(), toDir, to.constData());
}

int openFolderOf(const QByteArray &path, QByteArray *leaf)
{
    *leaf = baseNameOf(path);
    // One component at a time, one descriptor held: a path of any length,
    // and no link on the way is followed.
    int fd = fsys().open(path.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const QList<QByteArray> parts = parentOf(path).split('/');
    for (const QByteArray &part : parts) {
        if (fd < 0)
            break;
        if (part.isEmpty() || part == ".")
            continue;
        const int next = fsys().openat(fd, part.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int err = errno;
        fsys().close(fd);
        fd = next;
        errno = err;
    }
    return fd;
}

// Removes the entries of the folder open at fd up to its first subfolder
// not in stuck, and returns that one's name (empty: none left).
static QByteArray removeEntriesUpToFolder(int fd, const QList<QByteArray> &stuck)
{
    QByteArray subfolder;
    if (DIR *dir = fsys().fdopendir(fsys().dup(fd))) {
        while (const dirent *entry = fsys().readdir(dir)) {
            const QByteArray child(entry->d_name);
            if (child == "." || child == ".." || stuck.contains(child))
                continue;
            if (fsys().unlinkat(fd, child.constData(), 0) != 0 && errno == EISDIR) {
                subfolder = child;
                break;
            }
        }
        fsys().closedir(dir);
    }
    return subfolder;
}

void removeTreeAt(int dirFd, const QByteArray &name)
{
    // One folder open at a time, whatever the depth: down into the first
    // subfolder left, back up through ".." (only to the folder it came
    // from) once a folder is empty.
    struct Level
    {
        QByteArray name;
        dev_t device;
        ino_t inode;
        QList<QByteArray> stuck; // could not be removed: left alone
    };
    QList<Level> levels;
    int fd = fsys().openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fsys().fstat(fd, &st) != 0) {
        if (fd >= 0)
            fsys().close(fd);
        fsys().unlinkat(dirFd, name.constData(), AT_REMOVEDIR);
        return;
    }
    levels.append({name, st.st_dev, st.st_ino, {}});
    while (fd >= 0) {
        const QByteArray subfolder = removeEntriesUpToFolder(fd, levels.last().stuck);
        if (!subfolder.isEmpty()) {
            const int below = fsys().openat(fd, subfolder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (below >= 0 && fsys().fstat(below, &st) == 0) {
                fsys().close(fd);
                fd = below;
                levels.append({subfolder, st.st_dev, st.st_ino, {}});
            } else {
                if (below >= 0)
                    fsys().close(below);
                levels.last().stuck.append(subfolder);
            }
            continue;
        }
        const Level done = levels.takeLast();
        if (levels.isEmpty()) {
            fsys().close(fd);
            break;
        }
        const int above = fsys().openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        fsys().close(fd);
        fd = -1;
        if (above < 0 || fsys().fstat(above, &st) != 0 || st.st_dev != levels.last().device
            || st.st_ino != levels.last().inode) {
            if (above >= 0)
                fsys().close(above);
            break; // moved away meanwhile: not followed
        }
        fd = above;
        if (fsys().unlinkat(fd, done.name.constData(), AT_REMOVEDIR) != 0)
            levels.last().stuck.append(done.name);
    }
    fsys().unlinkat(dirFd, name.constData(), AT_REMOVEDIR);
}

int makePath(const QByteArray &path, mode_t mode)
{
    struct stat st;
    if (fsys().stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    const QByteArray parent = parentOf(path);
    if (parent != path) {
        const int err = makePath(parent, mode);
        if (err != 0)
            return err;
    }
    if (fsys().mkdir(path.constData(), mode) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

QString formatSize(qint64 bytes)
{
    if (bytes < 1024)
        return QString::number(bytes) + EngineTexts::SizeBytes;
    const double kib = bytes / 1024.0;
    if (kib < 1024)
        return QString::number(kib, 'f', 1) + EngineTexts::SizeKB;
    const double mib = kib / 1024.0;
    if (mib < 1024)
        return QString::number(mib, 'f', 1) + EngineTexts::SizeMB;
    return QString::number(mib / 1024.0, 'f', 2) + EngineTexts::SizeGB;
}

pid_t leftoverPid(const QByteArray &name)
{
    static const QByteArray prefix = ".korvan-";
    if (!name.startsWith(prefix) || !name.endsWith(".part"))
        return 0;
    const QList<QByteArray> numbers = name.mid(prefix.size(), name.size() - prefix.size() - 5).split('-');
    bool pidOk = false;
    bool counterOk = false;
    const qint64 pid = numbers.size() == 2 ? numbers.at(0).toLongLong(&pidOk) : 0;
    if (numbers.size() == 2)
        numbers.at(1).toULongLong(&counterOk);
    return pidOk && counterOk && pid > 0 ? pid_t(pid) : 0;
}

bool processGone(pid_t pid)
{
    return pid != getpid() && kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace FsUtil
