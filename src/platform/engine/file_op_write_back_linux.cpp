// The write-back window of an operation and each copier's side of it (see
// file_op_write_back.h).
#include "platform/engine/file_op_write_back.h"
#include "platform/engine/file_system.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>

namespace EngineJob {

namespace {

constexpr unsigned StoredFlags = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
// A writer waiting for room looks at the operation's stop this often.
constexpr auto StopCheckInterval = std::chrono::milliseconds(50);

} // namespace

HeldFile::~HeldFile()
{
    fsys().close(fd);
}

// ---- the window shared by the copies -------------------------------------------

WriteBackWindow::WriteBackWindow(qint64 budget, std::function<bool()> stopped)
    : m_budget(std::max(budget, qint64(8)))
    , m_pieceBytes(m_budget / 8)
    , m_stopped(std::move(stopped))
{ }

WriteBackWindow::~WriteBackWindow() = default;

bool WriteBackWindow::fits(qint64 bytes)
{
    // An empty window takes anything: a writer alone always goes on.
    if (m_used + bytes > m_budget && m_used > 0)
        return false;
    m_used += bytes;
    m_mostUsed = std::max(m_mostUsed, m_used);
    return true;
}

bool WriteBackWindow::tryTake(qint64 bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return fits(bytes);
}

bool WriteBackWindow::take(qint64 bytes, int fd)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (fits(bytes))
            return true;
        if (m_stopped && m_stopped())
            return false;
        if (!m_pieces.empty()) {
            // The oldest piece under way, whoever wrote it: it has had the
            // longest to reach the device.
            Piece piece = std::move(m_pieces.front());
            m_pieces.pop_front();
            lock.unlock();
            // Errors show again, and are reported, when the volume is flushed.
            fsys().sync_file_range(piece.file->fd, piece.begin, piece.end - piece.begin, StoredFlags);
            piece.file.reset();
            lock.lock();
            m_used -= piece.bytes;
            m_roomFreed.notify_all();
            continue;
        }
        if (m_small > 0 && !m_flushing) {
            // Small files fill the window: their volume is flushed (the one
            // written to now; another volume's small files are flushed when
            // the operation ends).
            m_flushing = true;
            const qint64 small = m_small;
            lock.unlock();
            fsys().syncfs(fd);
            lock.lock();
            m_small -= small;
            m_used -= small;
            m_flushing = false;
            m_roomFreed.notify_all();
            continue;
        }
        // Another writer is storing what holds the room.
        m_roomFreed.wait_for(lock, StopCheckInterval);
    }
}

void WriteBackWindow::takeAnyway(qint64 bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_used += bytes;
    m_mostUsed = std::max(m_mostUsed, m_used);
}

void WriteBackWindow::give(qint64 bytes)
{
    if (bytes == 0)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_used -= bytes;
    m_roomFreed.notify_all();
}

void WriteBackWindow::queue(const std::shared_ptr<HeldFile> &file, qint64 begin, qint64 end, qint64 bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pieces.push_back({file, begin, end, bytes});
    m_roomFreed.notify_all(); // a writer waiting for room can store it
}

void WriteBackWindow::keepUntilFlush(qint64 bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_small += bytes;
    m_roomFreed.notify_all();
}

void WriteBackWindow::forget(const HeldFile *file)
{
    std::vector<Piece> dropped; // closed after the lock is released
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_pieces.begin(); it != m_pieces.end();) {
            if (it->file.get() == file) {
                m_used -= it->bytes;
                dropped.push_back(std::move(*it));
                it = m_pieces.erase(it);
            } else {
                ++it;
            }
        }
        if (!dropped.empty())
            m_roomFreed.notify_all();
    }
}

qint64 WriteBackWindow::used() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_used;
}

qint64 WriteBackWindow::mostUsed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mostUsed;
}

// ---- one copier's side ----------------------------------------------------------

WriteBack::~WriteBack()
{
    giveBackReserved();
    for (const File &file : m_files)
        m_window.give(file.bytes);
}

void WriteBack::giveBackReserved()
{
    m_window.give(std::exchange(m_reserved, 0));
}

bool WriteBack::reserve(int fd, qint64 bytes)
{
    giveBackReserved();
    bytes = std::min(bytes, m_window.budget());
    if (bytes <= 0 || m_window.tryTake(bytes)) {
        m_reserved = std::max(bytes, qint64(0));
        return true;
    }
    // Nothing of ours may hold room while we wait for it: what we wrote and
    // did not hand to write-back yet goes now, so whoever waits can store it.
    for (File &file : m_files)
        start(file);
    if (!m_window.take(bytes, fd))
        return false;
    m_reserved = bytes;
    return true;
}

WriteBack::File &WriteBack::fileOf(int fd)
{
    for (auto it = m_files.rbegin(); it != m_files.rend(); ++it) {
        if (it->fd == fd)
            return *it;
    }
    m_files.emplace_back();
    m_files.back().fd = fd;
    return m_files.back();
}

void WriteBack::written(int fd, qint64 offset, qint64 length)
{
    if (length <= 0)
        return;
    const qint64 beyond = length - std::exchange(m_reserved, 0);
    if (beyond > 0)
        m_window.takeAnyway(beyond);
    else
        m_window.give(-beyond);
    File &file = fileOf(fd);
    if (file.bytes == 0) {
        file.begin = offset;
        file.end = offset + length;
    } else {
        // Extents of a sparse file: one range over them, the holes hold nothing to store.
        file.begin = std::min(file.begin, offset);
        file.end = std::max(file.end, offset + length);
    }
    file.bytes += length;
    if (file.bytes >= m_window.pieceBytes())
        start(file);
}

void WriteBack::start(File &file)
{
    if (file.bytes == 0)
        return;
    if (!file.held) {
        const int kept = fsys().fcntl(file.fd, F_DUPFD_CLOEXEC, 0);
        if (kept >= 0)
            file.held = std::make_shared<HeldFile>(kept);
    }
    if (file.held) {
        // Errors show again, and are reported, when the volume is flushed.
        fsys().sync_file_range(file.fd, file.begin, file.end - file.begin, SYNC_FILE_RANGE_WRITE);
        m_window.queue(file.held, file.begin, file.end, file.bytes);
    } else {
        // No descriptor to spare to keep it under way: stored now.
        fsys().sync_file_range(file.fd, file.begin, file.end - file.begin, StoredFlags);
        m_window.give(file.bytes);
    }
    file.started = true;
    file.begin = file.end;
    file.bytes = 0;
}

void WriteBack::fileDone(int fd)
{
    giveBackReserved();
    const auto it = std::find_if(m_files.begin(), m_files.end(), [fd](const File &file) { return file.fd == fd; });
    if (it == m_files.end())
        return;
    if (it->started)
        start(*it); // its last part
    else if (it->bytes > 0)
        m_window.keepUntilFlush(it->bytes); // too small to be written back on its own
    m_files.erase(it);
}

void WriteBack::forget(int fd)
{
    giveBackReserved();
    const auto it = std::find_if(m_files.begin(), m_files.end(), [fd](const File &file) { return file.fd == fd; });
    if (it == m_files.end())
        return;
    if (it->held)
        m_window.forget(it->held.get());
    m_window.give(it->bytes);
    m_files.erase(it);
}

} // namespace EngineJob
