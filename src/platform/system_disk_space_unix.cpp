#include "platform/system_disk_space.h"

#include <QFile>
#include <QStorageInfo>

#include <sys/statvfs.h>

std::optional<DiskFreeSpace> SystemDiskSpace::query(const QString &rootPath)
{
    struct statvfs st
    {
    };
    if (rootPath.isEmpty() || ::statvfs(QFile::encodeName(rootPath).constData(), &st) != 0)
        return std::nullopt;
    // One "sector" per cluster of f_frsize bytes: the figures multiply back
    // to the volume's real size and free space.
    DiskFreeSpace d;
    d.sectorsPerCluster = 1;
    d.bytesPerSector = qint64(st.f_frsize ? st.f_frsize : st.f_bsize);
    d.freeClusters = qint64(st.f_bavail);
    d.totalClusters = qint64(st.f_blocks);
    return d;
}

QList<VolumeInfo> SystemDiskSpace::mountedVolumes()
{
    static const QByteArrayList pseudo = {"proc",     "sysfs",    "devpts", "cgroup",      "cgroup2",  "securityfs",
                                          "debugfs",  "tracefs",  "pstore", "bpf",         "mqueue",   "hugetlbfs",
                                          "configfs", "fusectl",  "autofs", "binfmt_misc", "efivarfs", "rpc_pipefs",
                                          "nsfs",     "squashfs", "overlay"};
    QList<VolumeInfo> volumes;
    for (const QStorageInfo &s : QStorageInfo::mountedVolumes()) {
        if (!s.isValid() || !s.isReady() || pseudo.contains(s.fileSystemType()))
            continue;
        const QString root = s.rootPath();
        if (root.startsWith(QStringLiteral("/proc")) || root.startsWith(QStringLiteral("/sys"))
            || root.startsWith(QStringLiteral("/run/")) || root == QStringLiteral("/run")
            || root.startsWith(QStringLiteral("/snap/")) || root.startsWith(QStringLiteral("/boot/efi")))
            continue;
        if (s.fileSystemType() == "tmpfs" && root != QStringLiteral("/tmp") && root != QStringLiteral("/dev/shm"))
            continue;
        volumes.append(VolumeInfo {root, s.name()});
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const VolumeInfo &a, const VolumeInfo &b) { return a.rootPath < b.rootPath; });
    return volumes;
}
