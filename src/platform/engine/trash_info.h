#pragma once

// The info files of the trash (private to the trash): each one is written
// complete under a temporary name of ours in info/ and only then given its
// name, which claims the trash name atomically. Until its item is in
// files/ the temporary name stays as a second link of the info file, so
// that what a killed run left (an info file without its item, or one half
// written) is found and removed the next time that trash is used.

#include <QByteArray>

namespace TrashInfo {

// Writes content as infoDir/infoName (0 or the errno; EEXIST: the name is
// taken). *pending: the second name, to be dropped once the item is there
// or the claim is given up (empty where the volume has no hard links).
int claim(const QByteArray &infoDir, const QByteArray &infoName, const QByteArray &content, bool sync,
          QByteArray *pending);
// The item is in place, or the claim was given up: the second name goes.
void settle(const QByteArray &pending);
// Removes what killed runs left in the trash at root (once per process):
// their temporaries, and the info files they claimed for items that never
// arrived.
void removeAbandoned(const QByteArray &root);

} // namespace TrashInfo
