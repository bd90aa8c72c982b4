#pragma once

// The engine's job: one operation from start to end. Private to the engine;
// FileOpEngine::run() makes one Job per operation. Its phases, in order, and
// the file that holds each:
//
//  1. The job (file_op_job.cpp, file_op_start.cpp): the record's paths are
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
//     the trash first. Files are copied by the copy workers
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
#include "platform/engine/file_op_count.h"
#include "platform/engine/file_op_durable.h"
#include "platform/engine/file_op_job_types.h"
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
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace EngineJob {

class Job
{
public:
    Job(EngineQuestions &questions, const std::atomic_bool &cancelFlag,
        const std::function<void(const FileOpProgress &)> &progressHandler, const EngineTestSettings &testing)
        : m_questions(questions)
        , m_progressHandler(progressHandler)
        , m_testing(testing)
        , m_shared(testing, cancelFlag)
        , m_copier(m_shared, [this](qint64 bytes) { bytesCopied(bytes); })
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
    // The steps of runCopyOrMove before the first write (file_op_start.cpp):
    // the refusals, then the target folder made with its parents (which
    // of them were made, in *createdPath). A result: the operation ends so.
    std::optional<FileOpResult> refuseBeforeStart(const FileOpParams &params, const QByteArray &source,
                                                  struct stat *srcSt, QByteArray *destDir);
    std::optional<FileOpResult> makeDestination(const FileOpParams &params, const QByteArray &destDir,
                                                QList<QByteArray> *createdPath);
    FileOpResult finish();
    Flow resolveConflict(const QByteArray &src, const struct stat &srcSt, const QByteArray &dst,
                         const struct stat &dstSt);
    ErrorAnswer reportError(const QByteArray &path, const QString &action, int errorCode,
                            const QString &reason = QString(), bool canRetry = true);
    // Reports a failed step and says what comes next: Retry (where the step
    // can be tried again), Skip this item, or Stop everything.
    Flow stepFailed(const QByteArray &path, const QString &action, int errorCode, const QString &reason = QString(),
                    bool canRetry = true);
    // Runs attempt until it is done or the user gives up on it: a failure
    // it records in its StepFailure is asked about, and Retry runs it again;
    // otherwise what it returns is returned.
    template<typename Attempt>
    Flow untilDone(Attempt attempt)
    {
        for (;;) {
            StepFailure failure;
            const Flow flow = attempt(failure);
            if (!failure.happened)
                return flow;
            const Flow next = stepFailed(failure.path, failure.action, failure.errorCode, failure.reason,
                                         failure.canRetry);
            if (next != Flow::Retry)
                return next;
        }
    }
    FileOpResult refuse(const QByteArray &path, const QString &action, const QString &reason);
    bool listDir(const QByteArray &dir, QList<QByteArray> *names, int *errorCode);

    // Counts what a copy of path will copy, for the progress: a folder on
    // a thread of its own beside the copy (file_op_preflight.cpp).
    void scan(const QByteArray &path, const struct stat &st);
    // Before the first write: the items the target volume cannot hold, asked
    // about at once (file_op_preflight.cpp). false: cancelled, nothing written.
    bool preflight(const QByteArray &source, const struct stat &srcSt, const QByteArray &destDir);
    bool refusedByPreflight(const QByteArray &src) const;
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
    // The steps of copyDir: the source folder opened and listed, the target
    // folder made (or found) and opened, the entries copied, the folder
    // given its mode and times once everything in it is back.
    Flow openSourceFolder(const QByteArray &src, EnteredFolder *folder, QList<QByteArray> *names);
    Flow openTargetFolder(const QByteArray &dst, EnteredFolder *folder);
    // A new folder for ref, unfinished and marked so; 0 with *dirFd open, or the errno.
    int makeFolder(const TargetRef &ref, int *dirFd);
    // The folder name of dirFd opened, not following a link (ENOTDIR then).
    static int openFolderAt(int dirFd, const QByteArray &name);
    // seen: what the count saw of the folder's regular files, used for
    // their stat instead of looking again (see TreeCount::keepSeenFiles).
    Flow copyEntries(const QByteArray &src, const QByteArray &dst, const QList<QByteArray> &names,
                     const std::vector<SeenFile> &seen, EnteredFolder *folder, Journal *journal);
    // The entry name of the folder open at srcFd, as it is now; false when it
    // is gone (nothing to copy) or skipped.
    bool statEntry(int srcFd, const QByteArray &src, const QByteArray &name, struct stat *st);
    void finishFolder(const EnteredFolder &folder, const QByteArray &dst, const struct stat &srcSt);
    // replacing: the file found at dst that the copy is to replace (nullptr: none).
    Flow copyLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, const struct stat *replacing,
                  Journal *journal);
    // One attempt at copyLeaf: staged, what it replaces set aside, published.
    // Continue: done; Retry: failed (attempt->err, asked about), or with
    // err 0 to be tried again at once; else what copyLeaf returns.
    Flow attemptLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt,
                     const struct stat *replacing, const TargetRef &ref, LeafAttempt *attempt);
    Flow resolveAndCopy(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    Flow checkSpace(const QByteArray &dst, qint64 needed);
    // The space for the regular file srcSt at dst; a skip counts the file as done.
    Flow checkSpaceFor(const QByteArray &dst, const struct stat &srcSt);
    // The unfinished mark of a folder this operation made, and whether an
    // existing folder carries it (left by a run that was killed).
    static void markUnfinished(int dirFd);
    bool isUnfinished(int dirFd, const struct stat &dirSt) const;
    // A folder files are copied into that the copy did not make: if a
    // default ACL (or anything we cannot rule out) decides the mode of new
    // files there, every copy gets its mode set (CopyShared::modeFromUmask).
    void checkModeOfNewFilesIn(int dirFd);
    // Keeps the folders the walk is in open for the deepest levels only
    // (HeldFolderLevels); false when a folder could not be told apart.
    // Flow::Skip: it is not held, and nothing in it is to be copied.
    Flow holdFolder(int *srcFd, int *dirFd);
    // Leaves the deepest held folder; opens its parent again when that was
    // closed, through "..", only if it is still the same folder.
    bool releaseFolder(const QByteArray &dst);
    TargetRef targetRef(const QByteArray &dst) const;
    SourceRef sourceRef(const QByteArray &src) const;

    // The copy workers: the files of a tree handed out in walk order and
    // taken back in that order (file_op_handout.cpp).
    bool canHandOut(const struct stat &srcSt) const;
    // statFromCount: srcSt is what the count saw, looked at again before
    // the job's thread copies the file itself.
    Flow handOut(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal,
                 bool statFromCount = false);
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
    // A folder moved onto one that exists within the volume: merged into it.
    // Retry: the move of src is to start over.
    Flow mergeFolder(const QByteArray &src, const QByteArray &dst);
    // The staging folder of a cross-volume move, made in stagingParent.
    Flow makeStaging(const QByteArray &stagingParent, QByteArray *staging);
    // The file at dst that the move of src replaces, set aside (to the
    // trash); Retry: the name is free now, the move starts over.
    Flow replaceByMove(const QByteArray &src, const struct stat &srcSt, const QByteArray &dst,
                       const struct stat &dstSt);
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
    // (file_op_sources.cpp): the record replayed through the descriptors of
    // their folders, and only entries that are still the ones copied; any
    // other is left there and reported.
    // placed: where the copy was staged, and where it was put.
    Flow removeSources(const QByteArray &src, const Journal &journal, const QPair<QByteArray, QByteArray> &placed,
                       int skippedBefore);
    // sources and copies: the folders the replay is in, in the source and in the copy.
    Flow enterSourceFolder(FolderTrail &sources, FolderTrail &copies, const RecordStep &folder,
                           const QByteArray &copyName, const QByteArray &folderPath);
    Flow leaveSourceFolder(FolderTrail &sources, FolderTrail &copies, const RemovalLevel &folder,
                           const QByteArray &folderPath, const SourceRemoval &removal);
    // placed: the names its copy's folder lists (nullptr: not looked at).
    Flow removeSourceItem(int dirFd, int copyDir, const QByteArray &path, const RecordStep &item,
                          const QByteArray &copyName, const std::vector<quint64> *placed, SourceRemoval &removal);
    // The record of a cross-volume move (file_op_move.cpp): made in folder,
    // each step added in walk order (after the files handed out before it),
    // and its blocks written; a block that cannot be written is asked about
    // (Skip: the move of this item is given up, Stop: everything).
    Flow makeRecord(const QByteArray &folder, Journal *journal);
    void record(Journal *journal, const RecordStep &step);
    Flow keepRecord(Journal *journal, bool all);
    // Whether the walk of a move goes on: its record is written, or what
    // could not be written is asked about first.
    Flow recordKept(Journal *journal);

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
    Copier m_copier; // the job's own: links, and whatever the workers leave
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
    bool m_counted = false; // what is to be copied is counted, or being counted beside the copy
    std::unique_ptr<TreeCount> m_count; // the count beside the copy, while there is one
    bool m_seenFromCount = false; // the walk takes the stat of regular files from the count
    bool m_countOver = false; // the operation is over: no more counting, whatever was counted
    QString m_message;
    FileOpResult m_account; // every item skipped or not done, and every note, as they come

    bool m_hardLinksWork = true;
    bool m_folderRenamesWork = true; // new folders are made under a temporary name

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
    quint64 m_spaceVolume = 0; // of m_spaceDir
    qint64 m_spaceFree = 0;
    qint64 m_spaceCheckedMs = 0;
    SpaceCounted m_spaceCounted; // by the last file checked

    QElapsedTimer m_clock;
    qint64 m_lastProgressMs = -ProgressIntervalMs;
    FileOpProgress m_progress;
    QByteArray m_currentPath;
};

} // namespace EngineJob
