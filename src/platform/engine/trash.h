#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// Where a trashed item went, or why it could not go anywhere.
struct TrashResult
{
    bool ok = false;
    int errorCode = 0; // errno of the failing step, 0 when none applies
    QString message; // what failed and why, for the user
    QString reason; // only why it failed
    QByteArray trashedPath; // .../Trash/files/<name>
    QByteArray infoPath; // .../Trash/info/<name>.trashinfo
    // A reservation: the info file's second name until its item is there,
    // by which a later run tells a claim that was never used.
    QByteArray pendingPath;
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

// An entry of an open folder that is to go to the trash only while it is
// the file that was checked (device and inode): a name swapped meanwhile
// is refused, not followed. path: where the user knows it, for messages.
struct TrashEntry
{
    int dirFd = -1;
    QByteArray name;
    QByteArray path;
    dev_t device = 0;
    ino_t inode = 0;
};

// As moveToTrash, for the entry; renamed relative to its folder.
TrashResult moveEntryToTrash(const TrashEntry &entry, bool syncInfo = true);

// Claims a name in the trash that would take path and writes its info file
// (not fsynced), so that the item can go there later by one rename; ok with
// trashedPath and infoPath set, or why not.
TrashResult reserveInTrash(const QByteArray &path);
// Moves the entry to the name reserved for it; the info file stays only
// when it went there.
TrashResult moveEntryToReserved(const TrashResult &reserved, const TrashEntry &entry);
// Removes the info file of a reservation that was not used.
void releaseReserved(const TrashResult &reserved);

// Whether moveToTrash(path) would find a trash for the item, without moving
// it and without making anything: a missing trash folder counts when it
// could be made.
TrashResult checkTrashFor(const QByteArray &path);

// What killed runs left in a trash is looked for the first time that trash
// is used after this (the engine calls it as each operation begins).
void lookForLeftoversAgain();

// The escaping of the Path= value: RFC 2396, with '/' kept (public for the
// tests, which read the info files a move leaves).
QByteArray encodeInfoPath(const QByteArray &path);

} // namespace Trash
