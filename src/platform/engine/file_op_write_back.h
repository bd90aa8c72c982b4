#pragma once

// What an operation has written but the device has not stored yet, kept
// bounded for the whole operation: every copy (the job's own thread and
// each copy worker) takes room in one shared window before it writes, and
// the room comes back once what was written is stored. Private to the
// engine; Linux calls, through fsys().

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace EngineJob {

// The window: written but not yet stored data stays below this much, for
// all the copies of an operation together. Each piece of an eighth of it
// is handed to write-back at once, so the device stores one while the
// next is written (WriteBackWindow::pieceBytes).
constexpr qint64 DirtyLimitBytes = 64 * 1024 * 1024;

// A duplicate of a copy's descriptor, kept while pieces of the copy are
// under way; closed when the last of them is stored (or forgotten).
struct HeldFile
{
    explicit HeldFile(int descriptor)
        : fd(descriptor)
    { }
    ~HeldFile();
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;
    const int fd;
};

// The room shared by the copies of one operation. Thread-safe.
class WriteBackWindow
{
public:
    // budget: the window's size (pieces are an eighth of it). stopped: the
    // operation is over, so nobody waits for room any more.
    WriteBackWindow(qint64 budget, std::function<bool()> stopped);
    WriteBackWindow(const WriteBackWindow &) = delete;
    WriteBackWindow &operator=(const WriteBackWindow &) = delete;
    // Drops what it still holds: the operation's flush stores it.
    ~WriteBackWindow();

    qint64 budget() const { return m_budget; }
    qint64 pieceBytes() const { return m_pieceBytes; }

    // Room for bytes, taken when it is free at once.
    bool tryTake(qint64 bytes);
    // Room for bytes about to be written to fd: while the window is full,
    // waits for the oldest piece under way (whoever started it), or flushes
    // the volume of fd when small files fill the window. A writer calls it
    // only once all it wrote is queued, so that room always comes back.
    // false: the operation stopped meanwhile.
    bool take(qint64 bytes, int fd);
    // Written beyond the room taken (a file that grew while it was copied).
    void takeAnyway(qint64 bytes);
    // Room taken and not written into, or written by a copy thrown away.
    void give(qint64 bytes);
    // A piece whose write-back was started: its room comes back once it is stored.
    void queue(const std::shared_ptr<HeldFile> &file, qint64 begin, qint64 end, qint64 bytes);
    // Bytes of small files, not written back one by one: their room comes
    // back when their volume is flushed.
    void keepUntilFlush(qint64 bytes);
    // The queued pieces of a copy that is thrown away: their room back
    // without waiting for the device.
    void forget(const HeldFile *file);

    // The room taken now, and the most ever taken at once.
    qint64 used() const;
    qint64 mostUsed() const;

private:
    struct Piece
    {
        std::shared_ptr<HeldFile> file;
        qint64 begin;
        qint64 end;
        qint64 bytes;
    };
    // Under the lock: takes the room when it fits.
    bool fits(qint64 bytes);

    const qint64 m_budget;
    const qint64 m_pieceBytes;
    const std::function<bool()> m_stopped;
    mutable std::mutex m_mutex;
    std::condition_variable m_roomFreed;
    std::deque<Piece> m_pieces; // started, in the order started
    qint64 m_used = 0;
    qint64 m_mostUsed = 0;
    qint64 m_small = 0; // of m_used: small files until a flush
    bool m_flushing = false; // a writer flushes a volume for the small files
};

// One copier's side of the window: the room it took and the part of each
// file it wrote that is not yet handed to write-back. Used by one thread.
class WriteBack
{
public:
    explicit WriteBack(WriteBackWindow &window)
        : m_window(window)
    { }
    WriteBack(const WriteBack &) = delete;
    WriteBack &operator=(const WriteBack &) = delete;
    ~WriteBack();

    // Room for bytes about to be written to fd; false: the operation stopped.
    bool reserve(int fd, qint64 bytes);
    // [offset, offset + length) of fd was written, into the room reserved.
    void written(int fd, qint64 offset, qint64 length);
    // fd is complete and about to be closed: its last part goes to
    // write-back when the file was written back piece by piece, else it is
    // kept with the small files until their volume is flushed.
    void fileDone(int fd);
    // The copy in fd is thrown away: nothing of it needs to reach the device.
    void forget(int fd);

private:
    struct File
    {
        int fd = -1;
        qint64 begin = 0; // the part not yet handed to write-back
        qint64 end = 0;
        qint64 bytes = 0;
        bool started = false; // pieces of it were handed to write-back
        std::shared_ptr<HeldFile> held;
    };
    File &fileOf(int fd);
    // Hands the unstarted part of file to write-back (queued in the window).
    void start(File &file);
    void giveBackReserved();

    WriteBackWindow &m_window;
    qint64 m_reserved = 0; // room taken, not yet written into
    std::vector<File> m_files; // being written (more than one while a batch is written)
};

} // namespace EngineJob
