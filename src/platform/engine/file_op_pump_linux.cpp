// Phase 3 of a job (see file_op_job.h): the data pump of Linux; every write
// takes its room in the write-back window first.
#include "platform/engine/file_op_copier.h"
#include "platform/engine/file_system.h"

#include <algorithm>
#include <cerrno>
#include <linux/fs.h>
#include <sys/ioctl.h>

using namespace FsUtil;

namespace EngineJob {

int Copier::copyContents(int srcFd, int dstFd, const struct stat &st, qint64 *copied, bool *atTarget)
{
    const EngineTestSettings &testing = m_shared.testing;
    const bool slowedDown = testing.chunkDelayUs > 0 || testing.chunkBytes > 0;
    // A clone shares the blocks (btrfs, XFS): instant, and no space used.
    if (m_shared.cloneWorks && !slowedDown && st.st_size > 0) {
        if (fsys().ioctl(dstFd, FICLONE, srcFd) == 0) {
            struct stat cloned;
            if (fsys().fstat(dstFd, &cloned) != 0) {
                *atTarget = true;
                return errno;
            }
            *copied = cloned.st_size;
            if (m_bytesDone)
                m_bytesDone(cloned.st_size);
            return 0;
        }
        if (errno == EOPNOTSUPP || errno == ENOTTY || errno == EINVAL || errno == EXDEV || errno == EPERM) {
            m_shared.cloneWorks = errno == EXDEV; // another pair of volumes may still clone
        } else {
            *atTarget = true;
            return errno;
        }
    }
    // Fewer blocks than bytes: holes, which stay holes in the copy.
    if (qint64(st.st_blocks) * 512 < qint64(st.st_size)) {
        const int err = copySparse(srcFd, dstFd, copied, atTarget);
        if (err != EOPNOTSUPP)
            return err;
    }
    // To the end of the file, whatever st_size said (/proc files, growing logs).
    return copyRange(srcFd, dstFd, 0, -1, st.st_size, copied, atTarget);
}

int Copier::copySparse(int srcFd, int dstFd, qint64 *copied, bool *atTarget)
{
    off_t position = 0;
    qint64 dataBytes = 0;
    for (;;) {
        const off_t data = fsys().lseek(srcFd, position, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break; // no data after position
            if (position == 0 && (errno == EINVAL || errno == EOPNOTSUPP))
                return EOPNOTSUPP; // the file system cannot tell: copy it all
            return errno;
        }
        const off_t hole = fsys().lseek(srcFd, data, SEEK_HOLE);
        if (hole < 0)
            return errno;
        qint64 extent = 0;
        if (const int err = copyRange(srcFd, dstFd, data, hole - data, hole - data, &extent, atTarget))
            return err;
        dataBytes += extent;
        position = data + extent;
        if (extent < hole - data)
            break; // the file became shorter
    }
    const off_t end = fsys().lseek(srcFd, 0, SEEK_END);
    if (end < 0)
        return errno;
    if (fsys().ftruncate(dstFd, end) != 0) {
        *atTarget = true;
        return errno;
    }
    *copied = end;
    if (m_bytesDone)
        m_bytesDone(end - dataBytes); // the holes count as done too
    return 0;
}

int Copier::copyRange(int srcFd, int dstFd, off_t from, qint64 length, qint64 expected, qint64 *copied, bool *atTarget)
{
    const auto targetSide = [](int err) {
        return err == ENOSPC || err == EDQUOT || err == EFBIG || err == EROFS || err == EPERM;
    };
    const EngineTestSettings &testing = m_shared.testing;
    const qint64 chunk = testing.chunkBytes > 0 ? testing.chunkBytes : CopyChunkBytes;
    const auto wanted = [&](qint64 most) { return length < 0 ? most : std::min(most, length - *copied); };
    *copied = 0;
    while (expected > 0 && m_shared.copyRangeWorks && wanted(chunk) > 0) {
        // Room for what the file is expected to hold of this chunk; past
        // where it was said to end (it grew), for a whole chunk.
        const qint64 rest = expected - *copied;
        if (!roomFor(dstFd, rest > 0 ? std::min(wanted(chunk), rest) : wanted(chunk)))
            return ECANCELED;
        loff_t in = from + *copied;
        loff_t out = in;
        const ssize_t n = fsys().copy_file_range(srcFd, &in, dstFd, &out, size_t(wanted(chunk)), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (*copied == 0
                && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)) {
                if (errno != EXDEV)
                    m_shared.copyRangeWorks = false;
                break;
            }
            *atTarget = targetSide(errno);
            return errno;
        }
        if (n == 0) {
            if (*copied == 0)
                break; // some file systems report a size but copy nothing: read instead
            return 0; // the end of the file
        }
        const bool shortCount = n < ssize_t(wanted(chunk));
        *copied += n;
        if (!chunkWritten(dstFd, in - n, n))
            return ECANCELED;
        // Fewer bytes than asked for, ending where the file was said to end:
        // its end, without one more call to find out.
        if (shortCount && *copied == expected)
            return 0;
    }
    if (length >= 0 && *copied >= length)
        return 0;

    return copyByReading(srcFd, dstFd, from, length, copied, atTarget);
}

int Copier::copyByReading(int srcFd, int dstFd, off_t from, qint64 length, qint64 *copied, bool *atTarget)
{
    const EngineTestSettings &testing = m_shared.testing;
    const auto wanted = [&](qint64 most) { return length < 0 ? most : std::min(most, length - *copied); };
    if (m_buffer.isEmpty())
        m_buffer.resize(ReadWriteBufferBytes);
    const qint64 bufferBytes = testing.chunkBytes > 0 ? std::min(testing.chunkBytes, ReadWriteBufferBytes)
                                                      : ReadWriteBufferBytes;
    while (wanted(bufferBytes) > 0) {
        const ssize_t n = fsys().pread(srcFd, m_buffer.data(), size_t(wanted(bufferBytes)), from + *copied);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        if (!roomFor(dstFd, n))
            return ECANCELED;
        ssize_t written = 0;
        while (written < n) {
            const ssize_t w = fsys().pwrite(dstFd, m_buffer.constData() + written, size_t(n - written),
                                            from + *copied + written);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                *atTarget = true;
                return errno;
            }
            written += w;
        }
        const qint64 offset = from + *copied;
        *copied += n;
        if (!chunkWritten(dstFd, offset, n))
            return ECANCELED;
    }
    return 0;
}

bool Copier::chunkWritten(int dstFd, qint64 offset, qint64 n)
{
    m_writeBack.written(dstFd, offset, n);
    if (m_shared.verify)
        readBackBehind(dstFd, offset + n);
    m_shared.testPoint("chunk-copied", m_currentSource);
    if (m_shared.testing.chunkDelayUs > 0)
        usleep(useconds_t(m_shared.testing.chunkDelayUs));
    if (m_bytesDone)
        m_bytesDone(n);
    return !m_shared.cancelled();
}

} // namespace EngineJob
