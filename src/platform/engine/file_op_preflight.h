#pragma once

// What a target volume can hold, and the checks of one item against it,
// for the look at a copy or move before its first write. Private to the engine.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <sys/stat.h>

namespace EngineJob {

struct VolumeLimits
{
    QByteArray type; // "vfat", "exfat", "ntfs", "smb", or the file system's own name
    bool windowsNames = false; // no <>:"\|?*, control characters, trailing dot or space, device names
    bool caseInsensitive = false;
    bool symlinks = true;
    bool nameInUtf16 = false; // the name limit counts UTF-16 units, else bytes
    int nameMax = 255;
    qint64 maxFileBytes = -1; // -1: no limit of its own
    qint64 freeBytes = -1; // -1: unknown
};

// What the volume a source is on can hold, as far as the target must take it.
struct SourceVolume
{
    int nameMax = -1; // the longest name, in bytes; -1: unknown
    // The room every file on it takes together, a bound of what a copy of
    // anything on it needs: -1 where it is none (unknown, or a volume whose
    // files share or compress their blocks: btrfs, xfs, overlays, FUSE…).
    qint64 usedBytes = -1;
};

// The volume holding path (which exists).
SourceVolume sourceVolumeOf(const QByteArray &path);

// Whether the target must be checked against the item before its first
// write (a name or size it may not take, or not enough room for anything
// the source volume holds); else the count may run beside the copy.
bool walkNeededFirst(const VolumeLimits &target, const SourceVolume &source);

// The limits of the volume holding folder (which exists); typeOverride
// (tests) stands for the type the volume is taken to be.
VolumeLimits volumeLimitsOf(const QByteArray &folder, const QByteArray &typeOverride);

// The limits a volume of the given type has (free space and name length
// aside). Unknown types have none.
VolumeLimits limitsOfType(const QByteArray &type);

// Why the volume cannot hold an entry named name with st; empty when it can.
QString refusalFor(const VolumeLimits &limits, const QByteArray &name, const struct stat &st);

} // namespace EngineJob
