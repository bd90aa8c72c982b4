// What a target volume is (Linux): its type from statfs, a FUSE driver's
// own name from the mount table, folders with case folding, free space.
#include "platform/engine/file_op_preflight.h"
#include "platform/engine/file_system.h"

#include <QFile>
#include <QList>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace EngineJob {

namespace {

constexpr long MsdosMagic = 0x4d44;
constexpr long ExfatMagic = 0x2011BAB0;
constexpr long NtfsMagic = 0x5346544e;
constexpr long Ntfs3Magic = 0x7366746e;
constexpr long Smb2Magic = long(0xFE534D42);
constexpr long CifsMagic = long(0xFF534D42);
constexpr long SmbMagic = 0x517B;
constexpr long FuseMagic = 0x65735546;
constexpr long Ext4Magic = 0xEF53; // also ext2 and ext3
constexpr long TmpfsMagic = 0x01021994;
constexpr int CasefoldFlag = 0x40000000; // FS_CASEFOLD_FL

// The file system type the mount table gives the mount holding folder
// ("fuse.fusefat", "fuseblk"…): the longest mount point that is a prefix.
QByteArray mountTypeOf(const QByteArray &folder)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    QByteArray best;
    QByteArray bestType;
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        const int dash = int(fields.indexOf("-"));
        if (fields.size() < 5 || dash < 0 || dash + 1 >= fields.size())
            continue;
        // Octal escapes (\040 for a space) as the kernel writes them.
        QByteArray point = fields.at(4);
        point.replace("\\040", " ").replace("\\011", "\t").replace("\\012", "\n").replace("\\134", "\\");
        const bool under = folder == point || point == "/"
            || (folder.startsWith(point) && folder.size() > point.size() && folder.at(point.size()) == '/');
        if (under && point.size() >= best.size()) {
            best = point;
            bestType = fields.at(dash + 1);
        }
    }
    return bestType;
}

QByteArray typeOfFuse(const QByteArray &mountType)
{
    const QByteArray driver = mountType.toLower();
    if (driver.contains("exfat"))
        return "exfat";
    if (driver.contains("fat"))
        return "vfat";
    if (driver.contains("ntfs"))
        return "ntfs";
    if (driver.contains("smb") || driver.contains("cifs"))
        return "smb";
    return mountType;
}

} // namespace

SourceVolume sourceVolumeOf(const QByteArray &path)
{
    SourceVolume volume;
    struct statfs fs;
    if (fsys().statfs(path.constData(), &fs) != 0)
        return volume;
    if (fs.f_namelen > 0)
        volume.nameMax = int(fs.f_namelen);
    // Only where each block belongs to one file, uncompressed (no clones,
    // no shared extents), are the used blocks a bound of every copy.
    const long type = long(fs.f_type);
    struct statvfs vfs;
    if ((type == Ext4Magic || type == TmpfsMagic) && fsys().statvfs(path.constData(), &vfs) == 0 && vfs.f_blocks > 0)
        volume.usedBytes = qint64(vfs.f_blocks - vfs.f_bfree) * qint64(vfs.f_frsize);
    return volume;
}

VolumeLimits volumeLimitsOf(const QByteArray &folder, const QByteArray &typeOverride)
{
    struct statfs fs;
    const bool known = fsys().statfs(folder.constData(), &fs) == 0;
    QByteArray type = typeOverride;
    if (type.isEmpty() && known) {
        switch (long(fs.f_type)) {
        case MsdosMagic: type = "vfat"; break;
        case ExfatMagic: type = "exfat"; break;
        case NtfsMagic:
        case Ntfs3Magic: type = "ntfs"; break;
        case Smb2Magic:
        case CifsMagic:
        case SmbMagic: type = "smb"; break;
        case FuseMagic: type = typeOfFuse(mountTypeOf(folder)); break;
        default: break;
        }
    }
    VolumeLimits limits = limitsOfType(type);
    if (known && !limits.nameInUtf16 && fs.f_namelen > 0)
        limits.nameMax = int(fs.f_namelen);
    struct statvfs vfs;
    // Volumes without a size (ramfs, some FUSE ones) say 0 blocks: unknown.
    if (fsys().statvfs(folder.constData(), &vfs) == 0 && vfs.f_blocks > 0)
        limits.freeBytes = qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
    // A folder with case folding (ext4, f2fs) compares names without case.
    if (const int fd = fsys().open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        int flags = 0;
        if (fsys().ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & CasefoldFlag))
            limits.caseInsensitive = true;
        fsys().close(fd);
    }
    return limits;
}

} // namespace EngineJob
