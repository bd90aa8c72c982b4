#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

// Path helpers shared by the engine and the trash. Inside the engine every
// path is the native byte string, so names that are not valid UTF-8 survive.
namespace FsUtil {

// Why a step failed, for the user: Chinese for the common errno values,
// the system's text (strerror) in brackets for the rest.
QString errorText(int errorCode);

// For messages: the path as the user reads it (invalid bytes shown as U+FFFD).
QString displayPath(const QByteArray &path);

// Lossless bytes -> text: bytes that are not valid UTF-8 become the lone
// surrogates U+DC80..U+DCFF, which encodePath() turns back into the same bytes.
QString decodePath(const QByteArray &path);

// Text -> bytes: UTF-8 as QFile::encodeName, except that the surrogates made
// by decodePath() are turned back into the original bytes.
QByteArray encodePath(const QString &path);

// "/a/b/" -> "/a/b"; keeps "/" as it is.
QByteArray stripTrailingSlashes(const QByteArray &path);
QByteArray parentOf(const QByteArray &path);
QByteArray baseNameOf(const QByteArray &path);
QByteArray joinPath(const QByteArray &dir, const QByteArray &name);

// The canonical form of a path whose last components may not exist yet:
// the existing part resolved with realpath(), the rest cleaned of "." and "..".
QByteArray canonicalPath(const QByteArray &path);

// rename() that fails with EEXIST instead of replacing an existing target.
int renameNoReplace(const QByteArray &from, const QByteArray &to);

// The same, from an entry of one open folder to one of another (AT_FDCWD: paths).
int renameNoReplaceAt(int fromDir, const QByteArray &from, int toDir, const QByteArray &to);

// The folder that holds path, opened (O_PATH) a component at a time so
// that a path longer than PATH_MAX works too; its last component in leaf.
// -1 with errno when a component is missing, not a folder, or a link.
int openFolderOf(const QByteArray &path, QByteArray *leaf);

// Removes name (relative to dirFd) and everything below it without
// following a link: a link inside is removed itself, never what it points to.
void removeTreeAt(int dirFd, const QByteArray &name);

// mkdir -p; returns 0 or the errno of the step that failed.
int makePath(const QByteArray &path, mode_t mode);

QString formatSize(qint64 bytes);

// The process id in a name we give temporaries (.korvan-<pid>-<n>.part),
// or 0 for any other name.
pid_t leftoverPid(const QByteArray &name);
// Whether pid is not running (and is not us): what it left is abandoned.
bool processGone(pid_t pid);

} // namespace FsUtil
