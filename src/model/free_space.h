#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// The free-space rows of the main window's report list: which root a
// chooser entry queries, the size and free space in whole GB and MB, and
// the row's text.
namespace FreeSpace {

struct Figures
{
    qint64 totalGB = 0; // GB of 2^30 bytes, rounded half to even
    qint64 freeMB = 0; // MB of 2^20 bytes, rounded half to even
};

// Size and free space from the four query values, in 64 bits; nullopt when
// a value does not fit (no row is better than a wrong one).
std::optional<Figures> figures(qint64 sectorsPerCluster, qint64 bytesPerSector, qint64 freeClusters,
                               qint64 totalClusters);

// True for a root that starts with a drive letter and a colon ("c:", "C:/").
bool hasDriveLetter(const QString &root);

// The text the chooser shows for a volume: its root, then the label in
// square brackets when there is one ("/media/usb [STICK]").
QString chooserEntry(const QString &root, const QString &label);

// The path to query for a volume's root: a drive letter gives its first two
// characters and a backslash ("c:" gives "c:\"); a mount point is queried
// as it is.
QString queryRoot(const QString &root);

// The drive part of the row: a drive letter and its colon, upper-cased
// ("c:\" gives "C:"); a mount point as it is listed.
QString drivePart(const QString &root);

// The row text: drive part, "盘原有空间：", size, "GB ", " 可用空间：",
// free space, "MB".
QString rowText(const QString &drivePart, const Figures &figures);

// The position in roots of the volume that holds path (the longest root
// that contains it), or -1.
int volumeHolding(const QStringList &roots, const QString &path);

} // namespace FreeSpace
