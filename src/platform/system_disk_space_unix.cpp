#include "platform/system_disk_space.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <sys/statvfs.h>

namespace {

// File systems that live on another machine; the user mounted them to use
// them as drives, so they are listed.
const QSet<QByteArray> kNetworkTypes = {"nfs",   "nfs4",        "cifs",      "smb3",          "smbfs", "ncpfs",
                                        "afs",   "ceph",        "glusterfs", "fuse.sshfs",    "9p",    "virtiofs",
                                        "davfs", "fuse.rclone", "fuse.s3fs", "fuse.glusterfs"};
// Device-backed file systems whose source is not a /dev path.
const QSet<QByteArray> kPoolTypes = {"zfs"};
// Read-only images (snap packages, live systems' root images): device
// backed, yet nobody's drive.
const QSet<QByteArray> kImageTypes = {"squashfs"};

// mountinfo writes blank, tab, newline and backslash as \040, \011, \012, \134.
QByteArray unescapeMountField(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field.at(i);
    }
    return out;
}

// udev names the links after the label with unsafe bytes as \xHH.
QString unescapeLabel(const QString &name)
{
    QByteArray in = QFile::encodeName(name);
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) == '\\' && i + 3 < in.size() && in.at(i + 1) == 'x') {
            bool ok = false;
            const int code = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += in.at(i);
    }
    return QString::fromUtf8(out);
}

// Device path (links resolved) to volume label.
QHash<QString, QString> readLabels(const QString &labelDir)
{
    QHash<QString, QString> labels;
    const QFileInfoList links = QDir(labelDir).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &link : links) {
        const QString device = link.canonicalFilePath();
        if (!device.isEmpty())
            labels.insert(device, unescapeLabel(link.fileName()));
    }
    return labels;
}

struct Mount
{
    QByteArray root; // the part of the file system mounted there
    QString mountPoint;
    QByteArray type;
    QString source;
    QByteArray superOptions;
};

// One line of mountinfo: "id parent major:minor root mountpoint options
// [optional fields] - type source superoptions".
std::optional<Mount> parseLine(const QByteArray &line)
{
    const QList<QByteArray> f = line.split(' ');
    const qsizetype dash = f.indexOf("-");
    if (f.size() < 6 || dash < 6 || dash + 2 >= f.size())
        return std::nullopt;
    Mount m;
    m.root = unescapeMountField(f.at(3));
    m.mountPoint = QFile::decodeName(unescapeMountField(f.at(4)));
    m.type = f.at(dash + 1);
    m.source = QFile::decodeName(unescapeMountField(f.at(dash + 2)));
    m.superOptions = dash + 3 < f.size() ? f.at(dash + 3) : QByteArray();
    return m;
}

// What a user calls a drive: a file system on a block device or on the
// network, wherever it is mounted (udisks puts USB sticks under
// /run/media/<user>/ or /media/<user>/). Left out are the kernel's and the
// session's own file systems, none of which stands on a device (proc,
// sysfs, cgroup, tmpfs, overlay, devpts, fuse portals...); read-only
// package images; mounts of just a part of a file system (a container's
// /etc/hosts, bind mounts) other than a btrfs subvolume; and the boot
// partitions under /boot, where the user keeps no files.
bool isDrive(const Mount &m)
{
    if (m.mountPoint == QStringLiteral("/boot") || m.mountPoint.startsWith(QStringLiteral("/boot/")))
        return false;
    if (kNetworkTypes.contains(m.type))
        return true;
    const bool onDevice = m.source.startsWith(QStringLiteral("/dev/")) || kPoolTypes.contains(m.type);
    if (!onDevice || kImageTypes.contains(m.type))
        return false;
    if (m.root == "/")
        return true;
    return m.type == "btrfs" && m.superOptions.split(',').contains("subvol=" + m.root);
}

} // namespace

SystemDiskSpace::SystemDiskSpace(const QString &mountTable, const QString &labelDir)
    : m_mountTable(mountTable)
    , m_labelDir(labelDir)
{ }

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
    // Only the kernel's mount list is read: nothing here touches a volume,
    // so a hung network mount cannot hold the window up.
    QFile table(m_mountTable);
    if (!table.open(QIODevice::ReadOnly))
        return {};
    const QHash<QString, QString> labels = readLabels(m_labelDir);
    // A later mount on the same point hides the earlier one.
    QHash<QString, VolumeInfo> byMountPoint;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const std::optional<Mount> m = parseLine(line.trimmed());
        if (!m)
            continue;
        if (!isDrive(*m)) {
            byMountPoint.remove(m->mountPoint);
            continue;
        }
        QString label;
        if (kNetworkTypes.contains(m->type))
            label = m->source; // "server:/export", "//nas/share"
        else if (m->source.startsWith(QStringLiteral("/dev/")))
            label = labels.value(QFileInfo(m->source).canonicalFilePath());
        byMountPoint.insert(m->mountPoint, VolumeInfo {m->mountPoint, label});
    }
    QList<VolumeInfo> volumes = byMountPoint.values();
    std::sort(volumes.begin(), volumes.end(),
              [](const VolumeInfo &a, const VolumeInfo &b) { return a.rootPath < b.rootPath; });
    return volumes;
}
