// The write-back of big files and the flush that ends an operation (see
// file_op_durable.h).
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

WriteBack::~WriteBack()
{
    for (const Piece &piece : m_pieces) {
        if (piece.ownsFd)
            fsys().close(piece.fd);
    }
}

void WriteBack::written(int fd, qint64 offset, qint64 length)
{
    if (length <= 0)
        return;
    if (!m_pieces.empty() && m_pieces.back().fd == fd && !m_pieces.back().started && m_pieces.back().end == offset) {
        m_pieces.back().end += length;
    } else {
        m_pieces.push_back({fd, offset, offset + length, false, false});
    }
    Piece &last = m_pieces.back();
    if (last.end - last.begin >= WriteBackPieceBytes)
        start(last);
    while (m_startedBytes > WriteBackWaitBytes && m_pieces.front().started)
        waitOldest();
}

bool WriteBack::fileDone(int fd)
{
    const auto ofFile = [fd](const Piece &piece) { return piece.fd == fd && !piece.ownsFd; };
    const auto count = std::count_if(m_pieces.cbegin(), m_pieces.cend(), ofFile);
    if (count == 0)
        return false;
    Piece &last = m_pieces.back();
    if (count == 1 && last.fd == fd && !last.started && last.end - last.begin < WriteBackPieceBytes) {
        // A small file: it is flushed with the others of its kind.
        m_pieces.pop_back();
        return false;
    }
    if (last.fd == fd && !last.started)
        start(last);
    const int kept = fsys().fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (kept < 0) {
        // No descriptor to spare: wait for this file's pieces now.
        while (std::any_of(m_pieces.cbegin(), m_pieces.cend(), ofFile))
            waitOldest();
        return true;
    }
    Piece *lastOfFile = nullptr;
    for (Piece &piece : m_pieces) {
        if (ofFile(piece)) {
            piece.fd = kept;
            lastOfFile = &piece;
        }
    }
    lastOfFile->ownsFd = true; // waited for last, so it closes the duplicate
    return true;
}

void WriteBack::forget(int fd)
{
    for (auto it = m_pieces.begin(); it != m_pieces.end();) {
        if (it->fd == fd && !it->ownsFd) {
            if (it->started)
                m_startedBytes -= it->end - it->begin;
            it = m_pieces.erase(it);
        } else {
            ++it;
        }
    }
}

void WriteBack::start(Piece &piece)
{
    // Errors show again, and are reported, when the volume is flushed.
    fsys().sync_file_range(piece.fd, piece.begin, piece.end - piece.begin, SYNC_FILE_RANGE_WRITE);
    piece.started = true;
    m_startedBytes += piece.end - piece.begin;
}

void WriteBack::waitOldest()
{
    const Piece piece = m_pieces.front();
    m_pieces.pop_front();
    if (piece.started) {
        fsys().sync_file_range(piece.fd, piece.begin, piece.end - piece.begin,
                               SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        m_startedBytes -= piece.end - piece.begin;
    }
    if (piece.ownsFd)
        fsys().close(piece.fd);
}

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
