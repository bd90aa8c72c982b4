// Verification after copying (Linux): a copy that is complete but not yet
// named is stored, its cached pages are dropped, and it is read back from
// the device and compared with the source by XXH3-128. A copy that differs
// is never published, so a move never removes its source.
#include "platform/engine/file_op_copier.h"

#include "platform/engine/engine_texts.h"

#include <cerrno>
#include <xxhash.h>

namespace EngineJob {

namespace {

// A streaming XXH3-128 of one file's bytes.
class ContentHash
{
public:
    ContentHash()
        : m_state(XXH3_createState())
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

} // namespace

int Copier::hashRange(int fd, qint64 length, XXH128_hash_t *digest, qint64 *shownBytes)
{
    ContentHash hash;
    if (!hash.valid())
        return ENOMEM;
    const qint64 bufferBytes = ReadWriteBufferBytes;
    if (m_buffer.size() < bufferBytes)
        m_buffer.resize(bufferBytes);
    qint64 offset = 0;
    while (offset < length) {
        if (stopped())
            return ECANCELED;
        const ssize_t n = pread(fd, m_buffer.data(), size_t(std::min(bufferBytes, length - offset)), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break; // shorter than copied: the digest tells
        hash.add(m_buffer.constData(), size_t(n));
        offset += n;
        if (shownBytes) {
            *shownBytes += n;
            m_shared.verifiedBytes += n;
            if (m_bytesDone)
                m_bytesDone(0); // shows the verifying phase as it goes
        }
    }
    *digest = hash.digest();
    return 0;
}

int Copier::verifyStored(int srcFd, int dstFd, qint64 length, bool *atTarget)
{
    // Stored first: only pages that reached the device can be dropped and read again.
    if (fdatasync(dstFd) != 0) {
        *atTarget = true;
        return errno;
    }
    XXH128_hash_t source;
    if (const int err = hashRange(srcFd, length, &source, nullptr))
        return err;

    ++m_shared.verifying;
    // Dropped from the cache, so the bytes read next come from the medium.
    // Sequential: the device reads ahead.
    posix_fadvise(dstFd, 0, 0, POSIX_FADV_DONTNEED);
    posix_fadvise(dstFd, 0, 0, POSIX_FADV_SEQUENTIAL);
    XXH128_hash_t copy;
    qint64 readBack = 0;
    const int err = hashRange(dstFd, length, &copy, &readBack);
    --m_shared.verifying;
    // Read back once: its pages need not stay in memory.
    posix_fadvise(dstFd, 0, 0, POSIX_FADV_DONTNEED);
    if (err != 0 || !XXH128_isEqual(source, copy))
        m_shared.verifiedBytes -= readBack; // done again, or not at all
    if (err != 0) {
        *atTarget = err != ECANCELED;
        return err;
    }
    if (!XXH128_isEqual(source, copy)) {
        m_failReason = EngineTexts::VerifyMismatch;
        *atTarget = true;
        return EIO;
    }
    return 0;
}

} // namespace EngineJob
