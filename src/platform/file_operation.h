#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// The shell file-operation record handed to the file-operation engine for
// every task. Field order and widths follow the record the runner and the
// add-task dialog fill; fields an operation does not set keep the values of
// the previous operation.
struct FileOpRecord
{
    quint32 hwnd = 0;
    quint32 wFunc = 0;
    QString pFrom;
    QString pTo;
    quint16 fFlags = 0;
    quint32 fAnyOperationsAborted = 0;
    quint32 hNameMappings = 0;
    QString lpszProgressTitle;
};

namespace FileOpCode {
constexpr quint32 Move = 1; // FO_MOVE
constexpr quint32 Copy = 2; // FO_COPY
constexpr quint32 Delete = 3; // FO_DELETE
} // namespace FileOpCode

namespace FileOpFlag {
constexpr quint16 NoConfirmation = 0x10; // FOF_NOCONFIRMATION: never ask before overwriting
constexpr quint16 AllowUndo = 0x40; // FOF_ALLOWUNDO: deletes go to the trash
constexpr quint16 NoConfirmMkdir = 0x200; // FOF_NOCONFIRMMKDIR: create the destination silently
} // namespace FileOpFlag

// An item of an operation that was skipped or could not be done, and why.
struct FileOpItem
{
    QString path;
    QString reason;
};

// What became of one operation: the queue runner and the immediate start
// keep it as the outcome of their task, which the user is shown.
struct FileOpResult
{
    // Items and notes kept per operation; the counts go on beyond it.
    static constexpr int MaxRecorded = 1000;

    enum class Status {
        Done, // everything the operation should do was done
        Skipped, // the user skipped one or more items; the rest was done
        Cancelled, // the user (or the program's exit) cancelled; nothing half-done is left
        Failed // the operation could not be done; message says why
    };
    Status status = Status::Done;
    QString message;
    // What could not be kept although the operation went on (e.g. the owner
    // or extended attributes on a volume that refuses them); short, one line each.
    QStringList notes;
    int noteCount = 0;
    // The items skipped or not done, in the order met (the first MaxRecorded).
    QList<FileOpItem> items {};
    int itemCount = 0;

    bool ok() const { return status == Status::Done; }
    // Records an item skipped or not done; beyond MaxRecorded only counts it.
    void addItem(const QString &path, const QString &reason)
    {
        if (items.size() < MaxRecorded)
            items.append({path, reason});
        ++itemCount;
    }
    void addNote(const QString &note)
    {
        if (notes.size() < MaxRecorded)
            notes.append(note);
        ++noteCount;
    }
};

// Performs one copy, move or delete-to-trash of one source path.
// perform() returns when the operation is over; while it runs the calling
// (GUI) thread keeps processing events.
class FileOperation
{
public:
    virtual ~FileOperation() = default;

    virtual FileOpResult perform(const FileOpRecord &op) = 0;

    // Cancels the operation that is running, if any, the safe way: no
    // partial file is left and the source of a move stays whole.
    // perform() then returns Cancelled.
    virtual void cancelRunning() = 0;

    virtual bool isRunning() const = 0;

    // Copies and moves started from now on read every file they write back
    // from the medium and compare it with its source. Off at start.
    void setVerifyAfterCopy(bool on) { m_verifyAfterCopy = on; }
    bool verifyAfterCopy() const { return m_verifyAfterCopy; }

private:
    bool m_verifyAfterCopy = false;
};
