// The record of a cross-volume move (see file_op_move_record.h): steps
// encoded into blocks, each block [magic, length, number, steps, checksum],
// written at its place with pwrite and read back the same way.
#include "platform/engine/file_op_move_record.h"

#include "platform/engine/file_system.h"

#include <xxhash.h>

#include <cerrno>
#include <cstring>

namespace EngineJob {

namespace {

constexpr quint32 BlockMagic = 0x524d564b; // "KVMR"
constexpr qsizetype HeaderBytes = 16; // magic, length, number
constexpr qsizetype ChecksumBytes = 8;
// The longest step: kind, name length, a name of NAME_MAX, and a state.
constexpr qsizetype LongestStep = 1 + 2 + 255 + 8 * 8;

template<typename T>
void put(QByteArray &out, T value)
{
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

// Reads a T at *at of block (false past its end).
template<typename T>
bool take(const QByteArray &block, qsizetype *at, T *value)
{
    if (block.size() - *at < qsizetype(sizeof(T)))
        return false;
    memcpy(value, block.constData() + *at, sizeof(T));
    *at += qsizetype(sizeof(T));
    return true;
}

quint64 checksumOf(const char *data, qsizetype size)
{
    return XXH3_64bits(data, size_t(size));
}

// Reads size bytes at offset, whatever a single pread returns.
int readFully(int fd, char *buffer, qsizetype size, qint64 offset)
{
    for (qsizetype done = 0; done < size;) {
        const ssize_t n = fsys().pread(fd, buffer + done, size_t(size - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EBADMSG; // cut short
        done += n;
    }
    return 0;
}

} // namespace

MoveRecord::~MoveRecord()
{
    if (m_readFd >= 0 && m_readFd != m_fd)
        fsys().close(m_readFd);
    if (m_fd >= 0)
        fsys().close(m_fd);
    if (m_folderFd >= 0) {
        // Where this fails the name is left to the clean-up of the next run there.
        fsys().unlinkat(m_folderFd, m_name.constData(), 0);
        fsys().close(m_folderFd);
    }
}

int MoveRecord::create(int folderFd, const QByteArray &temporaryName)
{
    m_fd = fsys().openat(folderFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd >= 0)
        return 0;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        return errno;
    // No unnamed files on this volume: a name of ours, removed when the
    // move is over (a kill leaves it to the clean-up of the next run
    // there). Not removed while open: not every volume reads a file whose
    // name is gone (fusefat).
    m_folderFd = fsys().fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (m_folderFd < 0)
        return errno;
    m_fd = fsys().openat(folderFd, temporaryName.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        const int err = errno;
        fsys().close(m_folderFd);
        m_folderFd = -1;
        return err;
    }
    m_name = temporaryName;
    return 0;
}

void MoveRecord::add(const RecordStep &step)
{
    if (m_abandoned)
        return;
    if (m_open.size() + LongestStep > BlockBytes) {
        seal();
        // One write per block: a block that cannot be written waits, with
        // what follows, until writeOut() is asked for again.
        if (m_error == 0)
            writeOut(false);
    }
    if (m_open.isEmpty())
        m_open.reserve(BlockBytes);
    put(m_open, quint8(step.kind));
    if (step.kind == RecordStep::Kind::LeaveFolder)
        return;
    put(m_open, quint16(step.name.size()));
    m_open.append(step.name);
    if (step.kind == RecordStep::Kind::EnterFolder) {
        put(m_open, quint64(step.device));
        put(m_open, quint64(step.inode));
        ++m_folders;
        return;
    }
    const SourceState &s = step.state;
    put(m_open, quint64(s.device));
    put(m_open, quint64(s.inode));
    put(m_open, quint64(s.links));
    put(m_open, qint64(s.size));
    for (const struct timespec &t : {s.modified, s.changed}) {
        put(m_open, qint64(t.tv_sec));
        put(m_open, qint64(t.tv_nsec));
    }
    ++m_items;
}

void MoveRecord::enterFolder(const QByteArray &name, dev_t device, ino_t inode)
{
    add({RecordStep::Kind::EnterFolder, name, device, inode, {}});
}

void MoveRecord::addItem(const QByteArray &name, const SourceState &state)
{
    add({RecordStep::Kind::Item, name, 0, 0, state});
}

void MoveRecord::leaveFolder()
{
    add({RecordStep::Kind::LeaveFolder, {}, 0, 0, {}});
}

void MoveRecord::seal()
{
    if (m_open.isEmpty())
        return;
    const qsizetype start = m_sealed.size();
    put(m_sealed, BlockMagic);
    put(m_sealed, quint32(m_open.size()));
    put(m_sealed, quint64(m_blocks++));
    m_sealed.append(m_open);
    put(m_sealed, checksumOf(m_sealed.constData() + start, m_sealed.size() - start));
    m_open.clear();
}

int MoveRecord::writeOut(bool all)
{
    if (m_abandoned)
        return 0;
    if (all)
        seal();
    m_error = 0;
    if (m_fd < 0)
        m_error = EBADF;
    qsizetype done = 0;
    while (m_error == 0 && done < m_sealed.size()) {
        const ssize_t n = fsys().pwrite(m_fd, m_sealed.constData() + done, size_t(m_sealed.size() - done),
                                        off_t(m_written + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            m_error = n < 0 ? errno : ENOSPC;
        else
            done += n;
    }
    // What was written stays written: a retry goes on from there.
    m_written += done;
    m_sealed.remove(0, done);
    if (m_error == 0 && all && m_readFd < 0)
        m_error = openForReading();
    return m_error;
}

int MoveRecord::openForReading()
{
    if (m_folderFd < 0) {
        m_readFd = m_fd;
        return 0;
    }
    // A named record is read through a descriptor of its own: not every
    // volume reads back through the one that wrote (fusefat). It must be
    // the file written, not whatever took its name meanwhile.
    const int fd = fsys().openat(m_folderFd, m_name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat written;
    struct stat opened;
    int err = 0;
    if (fsys().fstat(m_fd, &written) != 0 || fsys().fstat(fd, &opened) != 0)
        err = errno;
    else if (written.st_dev != opened.st_dev || written.st_ino != opened.st_ino)
        err = EBADMSG;
    if (err != 0) {
        fsys().close(fd);
        return err;
    }
    m_readFd = fd;
    return 0;
}

void MoveRecord::abandon()
{
    m_abandoned = true;
    m_error = 0;
    m_open = QByteArray();
    m_sealed = QByteArray();
}

bool MoveRecord::Reader::readBlock()
{
    m_block.clear();
    m_at = 0;
    if (m_offset == m_record.m_written && m_index == m_record.m_blocks)
        return false; // the end, where the record ended when it was written
    if (m_record.m_readFd < 0 || m_offset >= m_record.m_written || m_index >= m_record.m_blocks) {
        m_error = EBADMSG;
        return false;
    }
    char header[HeaderBytes];
    if ((m_error = readFully(m_record.m_readFd, header, HeaderBytes, m_offset)) != 0)
        return false;
    quint32 magic = 0;
    quint32 length = 0;
    quint64 index = 0;
    memcpy(&magic, header, 4);
    memcpy(&length, header + 4, 4);
    memcpy(&index, header + 8, 8);
    const qint64 blockEnd = m_offset + HeaderBytes + length + ChecksumBytes;
    if (magic != BlockMagic || length == 0 || length > quint32(BlockBytes) || index != m_index
        || blockEnd > m_record.m_written) {
        m_error = EBADMSG;
        return false;
    }
    QByteArray whole(HeaderBytes + qsizetype(length) + ChecksumBytes, Qt::Uninitialized);
    memcpy(whole.data(), header, HeaderBytes);
    if ((m_error = readFully(m_record.m_readFd, whole.data() + HeaderBytes, whole.size() - HeaderBytes,
                             m_offset + HeaderBytes))
        != 0)
        return false;
    quint64 checksum = 0;
    memcpy(&checksum, whole.constData() + whole.size() - ChecksumBytes, ChecksumBytes);
    if (checksum != checksumOf(whole.constData(), whole.size() - ChecksumBytes)) {
        m_error = EBADMSG;
        return false;
    }
    m_block = whole.mid(HeaderBytes, qsizetype(length));
    m_offset = blockEnd;
    ++m_index;
    return true;
}

bool MoveRecord::Reader::next(RecordStep *step)
{
    if (m_error != 0)
        return false;
    if (m_at >= m_block.size() && !readBlock())
        return false;
    quint8 kind = 0;
    take(m_block, &m_at, &kind);
    *step = RecordStep();
    step->kind = RecordStep::Kind(kind);
    if (step->kind == RecordStep::Kind::LeaveFolder)
        return true;
    quint16 nameBytes = 0;
    bool ok = (step->kind == RecordStep::Kind::EnterFolder || step->kind == RecordStep::Kind::Item)
        && take(m_block, &m_at, &nameBytes) && nameBytes > 0 && m_block.size() - m_at >= nameBytes;
    if (ok) {
        step->name = m_block.mid(m_at, nameBytes);
        m_at += nameBytes;
    }
    quint64 device = 0;
    quint64 inode = 0;
    ok = ok && take(m_block, &m_at, &device) && take(m_block, &m_at, &inode);
    if (ok && step->kind == RecordStep::Kind::EnterFolder) {
        step->device = dev_t(device);
        step->inode = ino_t(inode);
        return true;
    }
    SourceState &s = step->state;
    quint64 links = 0;
    qint64 times[4] = {};
    ok = ok && take(m_block, &m_at, &links) && take(m_block, &m_at, &s.size);
    for (qint64 &t : times)
        ok = ok && take(m_block, &m_at, &t);
    if (!ok) {
        m_error = EBADMSG; // a block whose checksum held but whose steps do not parse
        return false;
    }
    s.device = dev_t(device);
    s.inode = ino_t(inode);
    s.links = nlink_t(links);
    s.modified = {time_t(times[0]), long(times[1])};
    s.changed = {time_t(times[2]), long(times[3])};
    return true;
}

int MoveRecord::verify() const
{
    if (!m_sealed.isEmpty() || !m_open.isEmpty() || m_abandoned)
        return EBADMSG; // not all of it reached the file
    Reader reader(*this);
    RecordStep step;
    while (reader.next(&step)) { }
    return reader.error();
}

} // namespace EngineJob
