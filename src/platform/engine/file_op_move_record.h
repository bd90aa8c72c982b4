#pragma once

// The record a cross-volume move keeps of what it copied: the steps of its
// walk in order (a folder entered, a file or link copied with the state of
// its source, a folder left), written to a file on the target's volume in
// blocks of about 64 KiB rather than held in memory, and read back block by
// block by the check of the copy and the removal of the sources. So a move
// of millions of files holds one block, whatever the tree's size. Each
// block carries its number, its length and a checksum: a record that does
// not read back as it was written is refused as a whole. The file has no
// name (O_TMPFILE); where the volume cannot make one, it is made under a
// temporary name of ours, removed when the move is over, so a kill leaves
// at most a .korvan-<pid>-<n>.part that the next run there removes.
// Private to the engine.

#include "platform/engine/file_op_copier.h"

#include <QByteArray>

#include <sys/types.h>

namespace EngineJob {

// One step of a move's walk.
struct RecordStep
{
    enum class Kind : quint8 { EnterFolder = 1, Item = 2, LeaveFolder = 3 };
    Kind kind = Kind::Item;
    QByteArray name; // of the folder entered or the item copied, in the source
    dev_t device = 0; // EnterFolder: the folder as it was opened
    ino_t inode = 0;
    SourceState state; // Item: its source as it was copied
};

class MoveRecord
{
public:
    // What a block of the record holds at most, besides its header.
    static constexpr qsizetype BlockBytes = 64 * 1024;

    MoveRecord() = default;
    ~MoveRecord();
    MoveRecord(const MoveRecord &) = delete;
    MoveRecord &operator=(const MoveRecord &) = delete;

    // Makes the record in the folder open at folderFd (unnamed, or under
    // temporaryName, which is removed again at once). 0 or the errno.
    int create(int folderFd, const QByteArray &temporaryName);
    // The record's descriptor (-1 before create).
    int fd() const { return m_fd; }

    // The steps, in walk order. A full block is written as it fills; one
    // that could not be written stays in memory (pendingError()) until
    // writeOut() writes it.
    void add(const RecordStep &step);
    void enterFolder(const QByteArray &name, dev_t device, ino_t inode);
    void addItem(const QByteArray &name, const SourceState &state);
    void leaveFolder();
    // The errno of a block not yet written, or 0.
    int pendingError() const { return m_error; }
    // Writes the full blocks waiting, and with all the last one too (after
    // which the record can be read back). 0 or the errno.
    int writeOut(bool all);
    // Given up on (the move is skipped): what comes is not kept.
    void abandon();
    bool abandoned() const { return m_abandoned; }

    qint64 items() const { return m_items; }
    qint64 folders() const { return m_folders; }

    // Reads the record back from its start, one block at a time.
    class Reader
    {
    public:
        explicit Reader(const MoveRecord &record)
            : m_record(record)
        { }
        // The next step; false at the end, or when the record does not read
        // back whole and unchanged (error() then says why).
        bool next(RecordStep *step);
        // 0 at the end of an intact record; EBADMSG when it was damaged or
        // cut short; the errno of a read that failed.
        int error() const { return m_error; }

    private:
        bool readBlock();

        const MoveRecord &m_record;
        QByteArray m_block;
        qsizetype m_at = 0;
        qint64 m_offset = 0;
        quint64 m_index = 0;
        int m_error = 0;
    };
    // Reads the whole record once: 0 when it is intact, else as Reader::error().
    int verify() const;

private:
    void seal();
    int openForReading();

    int m_fd = -1;
    int m_readFd = -1; // what it is read back through
    int m_folderFd = -1; // where a named record is, to remove it
    QByteArray m_name;
    QByteArray m_open; // the block being filled
    QByteArray m_sealed; // full blocks not yet written
    qint64 m_written = 0; // bytes of the file written
    quint64 m_blocks = 0; // blocks sealed
    int m_error = 0;
    bool m_abandoned = false;
    qint64 m_items = 0;
    qint64 m_folders = 0;
};

} // namespace EngineJob
