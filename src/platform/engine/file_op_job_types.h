#pragma once

// The constants and small types a job's phases share (see file_op_job.h).
// Private to the engine.

#include "platform/engine/file_op_copier.h"
#include "platform/engine/file_op_move_record.h"
#include "platform/engine/fs_util.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <sys/stat.h>

namespace EngineJob {

using FsUtil::joinPath;
using FsUtil::parentOf;

constexpr qint64 ProgressIntervalMs = 100;
// The free space of a folder is measured again after this long, or sooner
// when our own writes since may have used it up.
constexpr qint64 SpaceRecheckMs = 100;
// Files above this size are looked for at the target before they are copied.
constexpr qint64 CheckBeforeCopyBytes = 256 * 1024;

// Files handed to the workers and not yet taken back, at most (per worker),
// and their bytes, beyond BigFilesPerWorker files of any size per worker.
// Enough small files that the walk runs a folder or more ahead of the
// workers, so each can fill a folder of its own; their paths are bounded
// too, for trees whose paths run to many KiB.
constexpr int OutstandingPerWorker = 1024;
constexpr qint64 OutstandingPathBytes = 8 * 1024 * 1024;
constexpr qint64 OutstandingBytesPerWorker = 64 * 1024 * 1024;
constexpr int BigFilesPerWorker = 2;
// One worker per core, at least two; beyond eight the volume, not the
// processor, is what small files wait for.
constexpr int MinWorkers = 2;
constexpr int MaxWorkers = 8;
// Verifying, a worker writes a batch of small files, lets the device
// store them together, then reads each back. Each file of a batch holds two
// descriptors until it is named: workers x files x 2 stays well under the
// usual limit of 1,024 open files.
constexpr int VerifyingWorkers = 8;
// Without verifying, a worker takes the small files waiting for it in
// batches too, so that the walk wakes a worker once per batch rather than
// once per file; a batch stops growing at SmallBatchBytes, so that big
// files spread over the workers.
constexpr int SmallBatchFiles = 16;
constexpr qint64 SmallBatchBytes = 1024 * 1024;
constexpr int VerifyBatchFiles = 16;
constexpr qint64 VerifyBatchBytes = 16 * 1024 * 1024;

// A copy holds the folders it is in open (two descriptors each) for the
// deepest this many levels; further up they are closed and opened again
// through ".." when the walk comes back, so that a tree of any depth copies
// under the usual limit of 1,024 open files.
constexpr int HeldFolderLevels = 100;
// Folders that wait for their files to come back from the copy workers
// before they are finished, at most.
constexpr int MostWaitingFolders = 64;
// The regular files the count keeps what it saw of for the walk, at most
// (64 bytes each).
constexpr size_t SeenFilesKept = 65536;

// A folder a copy is in: its source and target descriptors (the copyDir
// frame's own variables) and what they were, to open them again safely.
struct HeldFolder
{
    int *srcFd;
    int *dirFd;
    struct stat srcSt;
    struct stat dirSt;
    bool closed = false;
};

// A folder is this while it fills (owner-only, with the sticky bit) and
// holds an empty file of ours by the name below: a rerun after a kill
// finishes a folder left so. A folder of the user's with the same mode but
// without that file keeps its mode.
constexpr mode_t UnfinishedFolderMode = S_ISVTX | S_IRWXU;
constexpr char UnfinishedMarker[] = ".korvan-unfinished";

// What a step tells its caller: go on, this item was skipped (go on with
// the rest), or stop everything (cancelled or failed).
// Retry never leaves the step that failed: it goes round once more.
enum class Flow { Continue, Skip, Stop, Exists /* the target is there: ask, then replace */, Retry };

// What a step that failed asks the user about (see Job::untilDone).
struct StepFailure
{
    bool happened = false;
    QByteArray path;
    QString action;
    int errorCode = 0;
    QString reason;
    bool canRetry = true;

    // Records the failure; the step returns what this returns.
    Flow operator()(const QByteArray &failedPath, const QString &failedAction, int error,
                    const QString &why = QString(), bool retry = true)
    {
        *this = {true, failedPath, failedAction, error, why, retry};
        return Flow::Retry;
    }
};

// The free space a file was counted against (Job::checkSpace): how much,
// on which volume (statvfs f_fsid); bytes 0 when there was no figure.
struct SpaceCounted
{
    qint64 bytes = 0;
    quint64 volume = 0;
};

// One attempt at copying a file or link (Job::attemptLeaf).
struct LeafAttempt
{
    Staged staged;
    SourceState state;
    QByteArray failedPath;
    int err = 0;
};

// A folder a copy has entered: its descriptors and what it was made from.
struct EnteredFolder
{
    int srcFd = -1;
    int dirFd = -1;
    bool created = false; // made by this operation
    bool unfinished = false; // left unfinished by a run that was killed: finished by this one
};

// What a cross-volume move copied, so that the copy can be checked and the
// sources removed afterwards: on disk, in walk order (file_op_move_record.h).
// Undoing it needs no list: the staging folder is ours as a whole.
struct Journal
{
    MoveRecord record;
    QByteArray folder; // where the record is, for what is reported about it
};

struct SourceRemoval;
struct RemovalLevel;
class FolderTrail;

// Why a folder merge would stop halfway, found before anything is moved.
struct MergeProblem
{
    QByteArray path;
    int errorCode = 0;
    QString reason;
};

} // namespace EngineJob
