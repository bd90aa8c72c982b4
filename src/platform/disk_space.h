#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

// The four figures the free-space display works from, 64-bit so that
// volumes over 2 TiB come out right.
struct DiskFreeSpace
{
    qint64 sectorsPerCluster = 0;
    qint64 bytesPerSector = 0;
    qint64 freeClusters = 0;
    qint64 totalClusters = 0;
};

struct VolumeInfo
{
    QString rootPath; // mount point, e.g. "/" or "/media/usb"
    QString label; // may be empty
};

class DiskSpace
{
public:
    virtual ~DiskSpace() = default;

    // nullopt when the volume cannot be queried. May block (a network
    // mount that does not answer), so the windows call it on a worker
    // thread (DiskSpaceQueries); it must be safe to call from several at
    // once.
    virtual std::optional<DiskFreeSpace> query(const QString &rootPath) = 0;

    // The mounted volumes with real file systems, in a stable order. Read
    // each time a volume list opens, so it must never block on a volume.
    virtual QList<VolumeInfo> mountedVolumes() = 0;
};
