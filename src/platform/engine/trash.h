#pragma once

#include <QByteArray>
#include <QString>

// Where a trashed item went, or why it could not go anywhere.
struct TrashResult
{
    bool ok = false;
    int errorCode = 0; // errno of the failing step, 0 when none applies
    QString message; // what failed and why, for the user
    QString reason; // only why it failed
    QByteArray trashedPath; // .../Trash/files/<name>
    QByteArray infoPath; // .../Trash/info/<name>.trashinfo
};

// The freedesktop.org trash (version 1.0 of its layout), our own code.
// Items on the home volume go to $XDG_DATA_HOME/Trash; items on other
// volumes go to $topdir/.Trash/$uid or $topdir/.Trash-$uid. An item is only
// ever renamed into a trash: when no trash can take it, nothing is deleted.
namespace Trash {

// Moves the item (not following a final symlink) into the right trash.
// syncInfo false: the .trashinfo is not fsynced one by one; the caller
// makes it durable later (syncfs on the volume), for many items in a row.
TrashResult moveToTrash(const QByteArray &path, bool syncInfo = true);

// Whether moveToTrash(path) would find a trash for the item, without moving
// it and without making anything: a missing trash folder counts when it
// could be made.
TrashResult checkTrashFor(const QByteArray &path);

// The escaping of the Path= value: RFC 2396, with '/' kept (public for the
// tests, which read the info files a move leaves).
QByteArray encodeInfoPath(const QByteArray &path);

} // namespace Trash
