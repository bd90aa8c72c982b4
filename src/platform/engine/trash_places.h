#pragma once

// Where the trash of an item is (private to the trash): the home trash, a
// volume's own trash, and what counts as a trash folder.

#include <QByteArray>

namespace TrashPlaces {

struct TrashDir
{
    QByteArray root; // .../Trash, .../.Trash/$uid or .../.Trash-$uid
    QByteArray topDir; // empty for the home trash (Path is then absolute)
};

// Makes root with its files/ and info/ (0700) where missing; 0 or the errno.
int prepareTrashDir(const QByteArray &root);
// The trash of another volume, created when missing; empty root on failure.
TrashDir volumeTrash(const QByteArray &topDir, int *errorCode);
// As prepareTrashDir, but only looks; owned: an existing root must be ours.
int checkTrashDir(const QByteArray &root, bool owned);
// As volumeTrash, but only looks.
int checkVolumeTrash(const QByteArray &topDir);
// True when the item is a trash folder a trash of ours would use (the home
// trash, $topdir/.Trash/$uid, $topdir/.Trash-$uid), lies inside one, or holds
// one. Decided by st_dev/st_ino, so bind mounts and other aliases count too.
bool touchesTrash(const QByteArray &canonicalItem, const QByteArray &homeTrash, const QByteArray &topDir);
// $XDG_DATA_HOME/Trash, or ~/.local/share/Trash; read at every call.
QByteArray homeTrashDir();
// The mount point of the volume holding path (which must exist).
QByteArray mountPointOf(const QByteArray &path);

} // namespace TrashPlaces
