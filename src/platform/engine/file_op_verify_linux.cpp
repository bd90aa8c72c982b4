// Verification after copying (Linux): a copy that is complete but not yet
// named is stored, its cached pages are dropped, and it is read back from
// the device and compared with the source by XXH3-128. A copy that differs
// is never published, so a move never removes its source.
#include "platform/engine/file_op_copier.h"
#include "platform/engine/file_system.h"

#include "platform/engine/engine_texts.h"

#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <xxhash.h>

namespace EngineJob {

// A streaming XXH3-128 of one file's bytes.
class ContentHash
{
public:
    ContentHash()
        : m_state(XXH3_createState())
    {
        reset();
    }
    void reset()
    {
        if (m_state)
            XXH3_128bits_reset(m_state);
    }
    ~ContentHash() { XXH3_freeState(m_state); }
    ContentHash(const ContentHash &) = delete;
    ContentHash &operator=(const ContentHash &) = delete;

    bool valid() const { return m_state != nullptr; }
    void add(const char *data, size_t n) { XXH3_128bits_update(m_state, data, n); }
    XXH128_hash_t digest() const { return XXH3_128bits_digest(m_state); }

private:
    XXH3_state_t *m_state;
};

namespace {

constexpr int StoredFlags = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
// What is read back is asked for this far ahead of what is compared.
constexpr qint64 ReadAheadBytes = 8 * 1024 * 1024;

} // namespace

// The read-back of the file being copied: the hashes of what was compared so far.
struct ReadBack
{
    ContentHash source;
    ContentHash copy;
    int srcFd = -1;
    qint64 done = 0; // bytes of both read and hashed
    qint64 shown = 0; // of them, counted in the shared verified bytes
    bool differs = false; // the lengths read differ
    bool behind = true; // read back while copying (cleared after a failure: all at the end)

    void restart(std::atomic<qint64> &verifiedBytes)
    {
        source.reset();
        copy.reset();
        verifiedBytes -= shown;
        done = shown = 0;
        differs = false;
    }
};

void ReadBackDeleter::operator()(ReadBack *readBack) const
{
    delete readBack;
}

void Copier::beginReadBack(int srcFd)
{
    if (!m_readBack)
        m_readBack.reset(new ReadBack);
    m_readBack->shown = 0; // the last file's bytes stay verified
    m_readBack->restart(m_shared.verifiedBytes);
    m_readBack->srcFd = srcFd;
    m_readBack->behind = true;
}

int Copier::readBackRange(int dstFd, qint64 to, bool dropped)
{
    ReadBack &state = *m_readBack;
    // As big as the file, up to the usual size: a worker's files are small.
    const qint64 bufferBytes = std::clamp(to - state.done, qint64(4096), ReadWriteBufferBytes);
    if (m_buffer.size() < 2 * bufferBytes)
        m_buffer.resize(2 * bufferBytes);
    char *const fromSource = m_buffer.data();
    char *const fromCopy = m_buffer.data() + bufferBytes;
    // Dropped from the cache, so the bytes read next come from the medium
    // (unless that was done already and the medium is reading them ahead).
    if (!dropped)
        fsys().posix_fadvise(dstFd, state.done, to - state.done, POSIX_FADV_DONTNEED);
    ++m_shared.verifying;
    m_shared.verifiedSinceReport.store(true, std::memory_order_relaxed);
    auto notVerifying = qScopeGuard([this] { --m_shared.verifying; });
    qint64 askedTo = dropped ? to : state.done; // read ahead from the medium up to here
    while (state.done < to && !state.differs) {
        if (stopped())
            return ECANCELED;
        if (askedTo < to && askedTo - state.done < ReadAheadBytes / 2) {
            // Asked for ahead: the device gets many reads at once instead of
            // one after the other, several times faster.
            const qint64 until = std::min(to, state.done + ReadAheadBytes);
            fsys().posix_fadvise(dstFd, askedTo, until - askedTo, POSIX_FADV_WILLNEED);
            askedTo = until;
        }
        const size_t want = size_t(std::min(bufferBytes, to - state.done));
        const ssize_t n = fsys().pread(state.srcFd, fromSource, want, state.done);
        if (n < 0 && errno != EINTR)
            return errno;
        const ssize_t m = n < 0 ? -1 : fsys().pread(dstFd, fromCopy, size_t(n), state.done);
        if (n < 0 || (m < 0 && errno == EINTR))
            continue;
        if (m < 0)
            return -errno; // the copy's: told apart by the sign
        if (n == 0 || m != n) {
            state.differs = m != n;
            break; // shorter than copied: the digest or the lengths tell
        }
        state.source.add(fromSource, size_t(n));
        state.copy.add(fromCopy, size_t(m));
        state.done += n;
        state.shown += m;
        m_shared.verifiedBytes += m;
        if (m_bytesDone)
            m_bytesDone(0); // shows the verifying phase as it goes
    }
    // Read back once: its pages need not stay in memory.
    fsys().posix_fadvise(dstFd, 0, state.done, POSIX_FADV_DONTNEED);
    return 0;
}

void Copier::readBackBehind(int dstFd, qint64 written)
{
    ReadBack &state = *m_readBack;
    // A big file is read back while it is copied, half the write-back
    // window behind what was written (32 MiB): by then the write-back has
    // stored it, and the device reads one piece while it writes the next.
    // A test's smaller window brings a small file's read-back here too.
    const qint64 lag = m_shared.window.budget() / 2;
    const qint64 piece = m_shared.window.pieceBytes();
    while (state.behind && written - state.done >= lag + piece) {
        const qint64 to = state.done + piece;
        if (fsys().sync_file_range(dstFd, state.done, to - state.done, StoredFlags) != 0
            || readBackRange(dstFd, to) != 0) {
            // Done again from the start once the copy is complete, where errors are reported.
            state.restart(m_shared.verifiedBytes);
            state.behind = false;
        }
    }
}

void Copier::startStoring(int dstFd)
{
    // Only started: the device stores a batch's files together.
    fsys().sync_file_range(dstFd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

int Copier::prepareReadBack(const Staged &staged, WrittenFile *written)
{
    // Stored first: only pages that reached the device can be dropped and read again.
    if (fsys().sync_file_range(staged.fd, 0, 0, StoredFlags) != 0)
        return errno;
    fsys().posix_fadvise(staged.fd, 0, 0, POSIX_FADV_DONTNEED);
    // Read ahead from the medium while the files before it are compared.
    fsys().posix_fadvise(staged.fd, 0, written->copied, POSIX_FADV_WILLNEED);
    written->readyToReadBack = true;
    return 0;
}

int Copier::verifyStored(int dstFd, qint64 length, bool stored, bool *atTarget)
{
    ReadBack &state = *m_readBack;
    // Stored first: only pages that reached the device can be dropped and read again.
    if (!stored && fsys().sync_file_range(dstFd, 0, 0, StoredFlags) != 0) {
        *atTarget = true;
        return errno;
    }
    const int err = readBackRange(dstFd, length, stored);
    if (err != 0 || state.differs || !XXH128_isEqual(state.source.digest(), state.copy.digest())) {
        state.restart(m_shared.verifiedBytes); // done again, or not at all
        if (err != 0) {
            *atTarget = err < 0;
            return err < 0 ? -err : err;
        }
        m_failReason = EngineTexts::VerifyMismatch;
        *atTarget = true;
        return EIO;
    }
    return 0;
}

} // namespace EngineJob
