#pragma once

// The engine's job: one operation from start to end. Private to the engine;
// FileOpEngine::run() makes one Job per operation. Its phases, in order, and
// the file that holds each:
//
//  1. The job and its preflight (file_op_job.cpp): the record's paths are
//     checked and every refusal (same place, into itself, not absolute…)
//     happens before anything is created; the target folder is made; a
//     delete goes to the trash from here; questions, errors and progress.
//     Before the first write of a copy the target volume is looked at
//     (file_op_preflight.cpp): what it cannot hold is asked about at once.
//  2. Copying a tree (file_op_copy.cpp): folders are made unfinished
//     (01700) and filled through their descriptor, free space is checked
//     before each file, a clash is asked about, and each file or link is
//     staged and published by a Copier (file_op_copier.h, file_op_stage.cpp)
//     under its final name only when complete; what it replaces goes to
//     the trash first. Small files are copied by the copy workers
//     (file_op_workers.h, file_op_handout.cpp) and taken back in walk
//     order; with verification each copy is read back before it is named
//     (file_op_verify_linux.cpp).
//  3. The data pump (file_op_pump_linux.cpp): FICLONE, copy_file_range,
//     holes kept through SEEK_DATA/SEEK_HOLE, pread/pwrite otherwise;
//     cancel and progress after every chunk; big files written back piece
//     by piece (file_op_durable_linux.cpp).
//  4. Moves (file_op_move.cpp): one rename within a volume, an all-or-nothing
//     merge check before a folder merges, and across volumes a copy into a
//     staging folder that is flushed, checked and only then put in place
//     before the sources go; a failure or cancel rolls the staging back.
//  5. Done means durable: every volume the operation wrote to is flushed
//     (VolumeFlush) before it reports that it is over.

#include "platform/engine/engine_questions.h"
#include "platform/engine/engine_testing.h"
#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_copier.h"
#include "platform/engine/file_op_durable.h"
#include "platform/engine/file_op_params.h"
#include "platform/engine/file_op_workers.h"
#include "platform/engine/fs_util.h"
#include "platform/engine/trash.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace EngineJob {

using FsUtil::joinPath;
using FsUtil::parentOf;

constexpr qint64 ProgressIntervalMs = 100;
// The free space of a folder is measured again after this long, or sooner
// when our own writes since may have used it up.
constexpr qint64 SpaceRecheckMs = 100;
// Files above this size are looked for at the target before they are copied.
constexpr qint64 CheckBeforeCopyBytes = 256 * 1024;

// Files up to this size are copied by the copy workers; bigger ones by the
// job's own thread, with progress and cancel within the file.
constexpr qint64 WorkerFileBytes = 4 * 1024 * 1024;
// Files handed to the workers and not yet taken back, at most (per worker).
constexpr int OutstandingPerWorker = 32;
// One worker per core, at least two; beyond eight the volume, not the
// processor, is what small files wait for.
constexpr int MinWorkers = 2;
constexpr int MaxWorkers = 8;
// Verifying, a worker writes a batch of small files, lets the device
// store them together, then reads each back. Each file of a batch holds two
// descriptors until it is named: workers x files x 2 stays well under the
// usual limit of 1,024 open files.
constexpr int VerifyingWorkers = 8;
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

// A source folder a move entered, as it was when opened: its entries are
// removed through it only while its name still leads to this folder.
struct SourceFolder
{
    QByteArray path;
    dev_t device = 0;
    ino_t inode = 0;
};

// What a cross-volume move created, so that it can be undone, and what it
// copied, so that the sources can be checked and removed afterwards.
struct Journal
{
    QList<QByteArray> createdFiles;
    QList<QByteArray> createdDirs;
    QList<QPair<QByteArray, QByteArray>> copiedItems; // source, target (files, links)
    QList<SourceState> copiedStates; // for each of copiedItems: the source as it was copied
    QList<SourceFolder> sourceFolders; // in the order entered
    QList<QByteArray> targetDirs;
};

struct SourceRemoval;
class FolderTrail;

// Why a folder merge would stop halfway, found before anything is moved.
struct MergeProblem
{
    QByteArray path;
    int errorCode = 0;
    QString reason;
};

class Job
{
public:
    Job(EngineQuestions &questions, const std::atomic_bool &cancelFlag,
        const std::function<void(const FileOpProgress &)> &progressHandler, const EngineTestSettings &testing)
        : m_questions(questions)
        , m_progressHandler(progressHandler)
        , m_testing(testing)
        , m_shared(testing, cancelFlag)
        , m_copier(m_shared, &m_writeBack, [this](qint64 bytes) { bytesCopied(bytes); })
    {
        m_clock.start();
    }
    ~Job();

    FileOpResult run(const FileOpParams &params);
    // The names in the folder open at fd (which stays open).
    static bool listDirAt(int fd, QList<QByteArray> *names, int *errorCode);

private:
    // The job and its preflight, and what every phase shares (file_op_job.cpp).
    FileOpResult runTrash(const QByteArray &source, bool ask);
    FileOpResult runCopyOrMove(const FileOpParams &params, const QByteArray &source);
    FileOpResult finish();
    Flow resolveConflict(const QByteArray &src, const struct stat &srcSt, const QByteArray &dst,
                         const struct stat &dstSt);
    ErrorAnswer reportError(const QByteArray &path, const QString &action, int errorCode,
                            const QString &reason = QString(), bool canRetry = true);
    // Reports a failed step and says what comes next: Retry (where the step
    // can be tried again), Skip this item, or Stop everything.
    Flow stepFailed(const QByteArray &path, const QString &action, int errorCode, const QString &reason = QString(),
                    bool canRetry = true);
    FileOpResult refuse(const QByteArray &path, const QString &action, const QString &reason);
    bool listDir(const QByteArray &dir, QList<QByteArray> *names, int *errorCode);

    // Counts what a copy of path will copy, for the progress.
    void scan(const QByteArray &path, const struct stat &st);
    // Before the first write: the items the target volume cannot hold, asked
    // about at once (file_op_preflight.cpp). false: cancelled, nothing written.
    bool preflight(const QByteArray &source, const struct stat &srcSt, const QByteArray &destDir);
    bool refusedByPreflight(const QByteArray &src) const;
    void scanFolder(int fd);
    void note(Note kind, const QByteArray &path);
    // A path as the user knows it: what is staged is shown where it goes.
    QString userPath(const QByteArray &path) const;
    void takeNotes(QList<QPair<Note, QByteArray>> notes);
    void testPoint(const char *point, const QByteArray &path) { m_shared.testPoint(point, path); }
    void setCancelled();
    void setFailed();
    // Makes what the operation wrote durable; a failure fails the operation.
    bool flushVolumes();

    // Copying a tree (file_op_copy.cpp). copyTree returns when everything
    // is copied, also what was handed to the workers.
    Flow copyTree(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    Flow copyItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    Flow copyDir(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    // replacing: the file found at dst that the copy is to replace (nullptr: none).
    Flow copyLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, const struct stat *replacing,
                  Journal *journal);
    Flow resolveAndCopy(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    Flow checkSpace(const QByteArray &dst, qint64 needed);
    // The space for the regular file srcSt at dst; a skip counts the file as done.
    Flow checkSpaceFor(const QByteArray &dst, const struct stat &srcSt);
    // The unfinished mark of a folder this operation made, and whether an
    // existing folder carries it (left by a run that was killed).
    static void markUnfinished(int dirFd);
    bool isUnfinished(int dirFd, const struct stat &dirSt) const;
    // Keeps the folders the walk is in open for the deepest levels only
    // (HeldFolderLevels); false when a folder could not be told apart.
    bool holdFolder(int *srcFd, int *dirFd);
    // Leaves the deepest held folder; opens its parent again when that was
    // closed, through "..", only if it is still the same folder.
    bool releaseFolder(const QByteArray &dst);
    TargetRef targetRef(const QByteArray &dst) const;
    SourceRef sourceRef(const QByteArray &src) const;

    // The copy workers: small files of a tree handed out in walk order and
    // taken back in that order (file_op_copy.cpp).
    bool canHandOut(const struct stat &srcSt) const;
    Flow handOut(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    // Takes back every file handed out and deals with each in walk order.
    Flow settleHandedOut();
    Flow settle(FileTask &task);
    std::unique_ptr<FileTask> takeBack();
    static void copyOnWorker(FileTask &task, Copier &copier);
    static void copyBatchOnWorker(const std::vector<FileTask *> &batch, Copier &copier,
                                  const std::function<void(FileTask &)> &working);
    // Names a worker's staged copy (err 0) or discards it; sets the outcome.
    static void finishOnWorker(FileTask &task, Copier &copier, Staged *staged, int err);
    int workerCount() const;

    // Moves, their merge check, their staging and rollback (file_op_move.cpp).
    Flow moveItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt);
    Flow moveAcrossVolumes(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt);
    bool findMergeProblem(const QByteArray &src, const QByteArray &dst, MergeProblem *problem);
    // reserve: the trash info file of every file the merge replaces is
    // written before anything moves (all or nothing, also when the trash
    // runs out of room), and used by setAsideReplaced.
    Flow checkMerge(const QByteArray &src, const QByteArray &dst, bool reserve);
    bool reserveTrashForMerge(MergeProblem *problem);
    void releaseReservedTrash();
    // The info folder of a trash we wrote to is flushed with the operation.
    void noteTrashInfo(const QByteArray &infoPath);
    // Whether every copied item is complete at its target (staged: the copy
    // of src) and its source is still as it was copied; reports the first
    // that is not. Through the folders' descriptors (file_op_sources.cpp).
    bool checkCopied(const QByteArray &src, const QByteArray &staged, const Journal &journal);

    // Removing the sources of a cross-volume move once the copy is in place
    // (file_op_sources.cpp): through the descriptors of their folders, and
    // only entries that are still the ones copied; any other is left there
    // and reported.
    // placed: where the copy was staged, and where it was put.
    Flow removeSources(const QByteArray &src, const Journal &journal, const QPair<QByteArray, QByteArray> &placed,
                       int skippedBefore);
    // sources and copies: the folders the walk is in, in the source and in the copy.
    Flow removeSourceFolder(FolderTrail &sources, FolderTrail &copies, int index, SourceRemoval &removal);
    // copyDir: their copies' folder; listed: SourceRemoval::placedNames holds its names.
    Flow removeSourceItems(int dirFd, int copyDir, const QList<int> &items, SourceRemoval &removal, bool listed);

    // Sends the file a copy or move is about to replace to the trash; where
    // no trash takes it the user may skip (nothing replaced) or cancel. The
    // entry is taken relative to ref's folder, and only while it is the
    // file expected (the one asked about): a name swapped meanwhile is
    // refused, never followed.
    Flow setAsideReplaced(const TargetRef &ref, const QByteArray &dst, const struct stat &expected);

    // What killed runs left (file_op_leftovers.cpp): staging folders and
    // temporaries of ours whose process is gone are removed from a folder
    // before this operation first writes into it.
    void removeAbandonedIn(const QByteArray &folder);
    void removeAbandonedAt(int dirFd);
    // Whether two regular files of one volume are the same size, mode,
    // time and contents (a copy a killed move had put in place already).
    static bool sameContents(const QByteArray &a, const struct stat &aSt, const QByteArray &b, const struct stat &bSt);

    // "移动" or "复制": what the user reads this operation as.
    const QString &actionText() const { return m_moving ? EngineTexts::ActionMove : EngineTexts::ActionCopy; }
    bool cancelled() const { return m_cancelled || m_shared.cancelled(); }
    void progress(const QByteArray &current, bool force = false);
    void bytesCopied(qint64 bytes);

    EngineQuestions &m_questions;
    const std::function<void(const FileOpProgress &)> &m_progressHandler;
    const EngineTestSettings &m_testing;
    CopyShared m_shared;
    WriteBack m_writeBack;
    Copier m_copier; // the job's own: big files, links, and whatever the workers leave
    VolumeFlush m_flush;
    std::unique_ptr<CopyWorkers> m_workers; // made when the first file is handed out
    mutable int m_workerCount = -1;
    // Taking back the files handed out: what is asked then is about one of
    // them, so no later ones are taken back meanwhile.
    bool m_settling = false;

    bool m_moving = false;
    // Inside a folder merge, or putting a staged copy in place: only renames
    // happen, and a cancel there would leave half a merge, so it waits.
    bool m_merging = false;
    bool m_placing = false;
    QSet<QPair<dev_t, ino_t>> m_leftoversChecked; // folders already rid of what killed runs left
    QPair<QByteArray, QByteArray> m_stagedAs; // a cross-volume move's staged copy, and its target
    QList<dev_t> m_trashReadyOn; // volumes whose trash a merge check found usable
    QList<QByteArray> m_mergeReplaces; // what the merge being checked replaces
    QHash<QByteArray, TrashResult> m_reservedTrash; // by the path a merge replaces
    QList<QByteArray> m_notedInfoDirs; // trash info folders written without fsync, to be flushed
    bool m_askOverwrite = true;
    bool m_overwriteAll = false;
    bool m_cancelled = false;
    bool m_failed = false;
    int m_skipped = 0;
    QSet<QByteArray> m_preflightRefused; // source paths the user skipped before the start
    bool m_counted = false; // the preflight counted what is to be copied
    QString m_message;
    FileOpResult m_account; // every item skipped or not done, and every note, as they come

    bool m_hardLinksWork = true;
    const uid_t m_euid = geteuid();
    QByteArray m_targetDirPath; // the folder being filled, and its descriptor
    int m_targetDirFd = -1;
    QByteArray m_sourceDirPath; // the folder being read, and its descriptor
    int m_sourceDirFd = -1;
    std::vector<HeldFolder> m_heldFolders; // the folders the walk is in, outermost first
    size_t m_closedFolders = 0; // how many of the outermost are closed now
    int m_waitingFolders = 0; // finished once the files handed out for them are back
    QHash<QPair<dev_t, ino_t>, QByteArray> m_linkedCopies; // a move: the first copy of a file with more links

    QByteArray m_spaceDir;
    qint64 m_spaceFree = 0;
    qint64 m_spaceCheckedMs = 0;

    QElapsedTimer m_clock;
    qint64 m_lastProgressMs = -ProgressIntervalMs;
    FileOpProgress m_progress;
    QByteArray m_currentPath;
};

} // namespace EngineJob
