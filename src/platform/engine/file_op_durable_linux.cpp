// The flush that ends an operation (see file_op_durable.h).
#include "platform/engine/file_op_durable.h"
#include "platform/engine/file_system.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace EngineJob {

namespace {

// Past this many folders whose names changed, their volume is flushed once
// instead of each folder on its own.
constexpr int FolderSyncsAtMost = 16;

} // namespace

// ---- the flush at the end ----------------------------------------------------

VolumeFlush::~VolumeFlush()
{
    clear();
}

void VolumeFlush::noteWritten(int dirFd, const QByteArray &path)
{
    struct stat st;
    if (fsys().fstat(dirFd, &st) != 0)
        return;
    for (const Volume &volume : std::as_const(m_volumes)) {
        if (volume.device == st.st_dev)
            return;
    }
    const int kept = fsys().fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (kept >= 0)
        m_volumes.append({st.st_dev, kept, path});
}

void VolumeFlush::noteRenamed(const QByteArray &folder)
{
    if (m_folders.contains(folder))
        return;
    if (m_folders.size() < FolderSyncsAtMost) {
        m_folders.append(folder);
        return;
    }
    const int fd = fsys().open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        noteWritten(fd, folder);
        fsys().close(fd);
    }
}

void VolumeFlush::clear()
{
    for (const Volume &volume : std::as_const(m_volumes))
        fsys().close(volume.fd);
    m_volumes.clear();
    m_folders.clear();
}

bool VolumeFlush::flushOne(const Volume &volume, Failure *failure)
{
    // Also reports a write that failed in the background since the
    // descriptor was opened (a lost page would otherwise go unnoticed).
    if (fsys().syncfs(volume.fd) == 0)
        return true;
    if (failure)
        *failure = {volume.path, errno};
    return false;
}

bool VolumeFlush::syncFolder(const QByteArray &folder, Failure *failure)
{
    const int fd = fsys().open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true; // gone meanwhile: nothing of ours to keep there
    const bool ok = fsys().fsync(fd) == 0 || errno == EINVAL || errno == EROFS; // some file systems cannot sync folders
    const int err = errno;
    fsys().close(fd);
    if (!ok && failure)
        *failure = {folder, err};
    return ok;
}

} // namespace EngineJob
