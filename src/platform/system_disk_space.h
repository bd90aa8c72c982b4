#pragma once

#include "platform/disk_space.h"

// Free space and the list of mounted volumes from the operating system.
class SystemDiskSpace : public DiskSpace
{
public:
    // mountTable is the kernel's mount list in /proc/<pid>/mountinfo form,
    // labelDir the folder of links from volume labels to their devices.
    explicit SystemDiskSpace(const QString &mountTable = QStringLiteral("/proc/self/mountinfo"),
                             const QString &labelDir = QStringLiteral("/dev/disk/by-label"));

    std::optional<DiskFreeSpace> query(const QString &rootPath) override;
    QList<VolumeInfo> mountedVolumes() override;

private:
    QString m_mountTable;
    QString m_labelDir;
};
