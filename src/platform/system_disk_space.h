#pragma once

#include "platform/disk_space.h"

// Free space and the list of mounted volumes from the operating system.
class SystemDiskSpace : public DiskSpace
{
public:
    std::optional<DiskFreeSpace> query(const QString &rootPath) override;
    QList<VolumeInfo> mountedVolumes() override;
};
