#pragma once

// The engine's job: one operation from start to end. Private to the engine;
// FileOpEngine::run() makes one Job per operation. Its phases, in order, and
// the file that holds each:
//
//  1. The job and its preflight (file_op_job.cpp): the record's paths are
//     checked and every refusal (same place, into itself, not absolute…)
//     happens before anything is created; the target folder is made; a
//     delete goes to the trash from here; questions, errors and progress.
//  2. Copying a tree (file_op_copy.cpp): folders are made unfinished
//     (01700) and filled through their descriptor, free space is checked
//     before each file, a clash is asked about, and each file or link is
//     staged and published (file_op_stage.cpp) under its final name only
//     when complete; what it replaces goes to the trash first.
//  3. The data pump (file_op_pump_linux.cpp): FICLONE, copy_file_range,
//     holes kept through SEEK_DATA/SEEK_HOLE, pread/pwrite otherwise;
//     cancel and progress after every chunk; the syncs that make a move
//     durable before any source goes.
//  4. Moves (file_op_move.cpp): one rename within a volume, an all-or-nothing
//     merge check before a folder merges, and across volumes a copy into a
//     staging folder that is synced, checked and only then put in place
//     before the sources go; a failure or cancel rolls the staging back.

#include "platform/engine/engine_questions.h"
#include "platform/engine/engine_testing.h"
#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_params.h"
#include "platform/engine/fs_util.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPair>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace EngineJob {

using FsUtil::joinPath;
using FsUtil::parentOf;

constexpr qint64 CopyChunkBytes = 16 * 1024 * 1024; // cancel and progress granularity
constexpr qint64 ReadWriteBufferBytes = 1024 * 1024;
constexpr qint64 ProgressIntervalMs = 100;
// The free space of a folder is measured again after this long, or sooner
// when our own writes since may have used it up.
constexpr qint64 SpaceRecheckMs = 100;
// Files above this size are looked for at the target before they are copied.
constexpr qint64 CheckBeforeCopyBytes = 256 * 1024;

// A folder is this while it fills (owner-only; the sticky bit marks it as
// unfinished): a rerun after a kill finishes a folder left so.
constexpr mode_t UnfinishedFolderMode = S_ISVTX | S_IRWXU;

// What a step tells its caller: go on, this item was skipped (go on with
// the rest), or stop everything (cancelled or failed).
// Retry never leaves the step that failed: it goes round once more.
enum class Flow { Continue, Skip, Stop, Exists /* the target is there: ask, then replace */, Retry };

// A source file as it was copied: a move removes it only if it still is so.
struct SourceState
{
    dev_t device = 0;
    ino_t inode = 0;
    nlink_t links = 0;
    qint64 size = 0; // the bytes copied (to the end of the file, whatever st_size said)
    struct timespec modified = {0, 0}; // st_mtim when the copy started
};

// What a cross-volume move created, so that it can be undone, and what it
// copied, so that the sources can be checked and removed afterwards.
struct Journal
{
    QList<QByteArray> createdFiles;
    QList<QByteArray> createdDirs;
    QList<QPair<QByteArray, QByteArray>> copiedItems; // source, target (files, links)
    QList<SourceState> copiedStates; // for each of copiedItems: the source as it was copied
    QList<QByteArray> sourceDirs; // in the order entered
    QList<QByteArray> targetDirs;
};

// Why a folder merge would stop halfway, found before anything is moved.
struct MergeProblem
{
    QByteArray path;
    int errorCode = 0;
    QString reason;
};

// The umask of the process, read without changing it.
mode_t currentUmask();
// fsync of a folder, so that the names made in it last.
void syncDir(const QByteArray &dir);

class Job
{
public:
    Job(EngineQuestions &questions, const std::atomic_bool &cancelFlag,
        const std::function<void(const FileOpProgress &)> &progressHandler, const EngineTestSettings &testing)
        : m_questions(questions)
        , m_cancelFlag(cancelFlag)
        , m_progressHandler(progressHandler)
        , m_testing(testing)
    {
        m_clock.start();
    }

    FileOpResult run(const FileOpParams &params);

private:
    // Where a target is made: relative to the descriptor of the folder being
    // filled, so that no name above it is looked up again; else by full path.
    struct TargetRef
    {
        int dirFd = AT_FDCWD;
        QByteArray name;
        QByteArray sibling(const QByteArray &leaf) const
        {
            return dirFd == AT_FDCWD ? joinPath(parentOf(name), leaf) : leaf;
        }
    };
    // A complete copy waiting for its name: an unnamed file (O_TMPFILE), a
    // temporary name in the target folder, or the copy it is another link of.
    struct Staged
    {
        int fd = -1;
        QByteArray tempName; // relative like TargetRef::name
        QByteArray linkFrom; // full path
    };
    enum class Note { Owner, ExtendedAttributes, HardLinks };

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
    void scan(const QByteArray &path, const struct stat &st);
    QByteArray temporaryLeaf();
    int failAt(const QByteArray &path, int errorCode);
    void note(Note kind, const QByteArray &path);
    void testPoint(const char *point, const QByteArray &path)
    {
        if (m_testing.hook)
            m_testing.hook(point, path);
    }

    // Copying a tree (file_op_copy.cpp).
    Flow copyItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    Flow copyDir(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    Flow copyLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, bool replace,
                  Journal *journal);
    Flow checkSpace(const QByteArray &dst, qint64 needed);

    // Each file or link complete under no name, then published (file_op_stage.cpp).
    TargetRef targetRef(const QByteArray &dst) const;
    int stageFile(const QByteArray &src, const QByteArray &dst, const TargetRef &ref, Staged *staged,
                  SourceState *state);
    int stageLink(const QByteArray &src, const QByteArray &dst, const TargetRef &ref, const struct stat &srcSt,
                  Staged *staged);
    int publishStaged(const TargetRef &ref, Staged *staged);
    void discardStaged(const TargetRef &ref, Staged *staged);
    void keepOwner(int fd, const struct stat &srcSt, const QByteArray &dst);
    void keepExtendedAttributes(int srcFd, int dstFd, const QByteArray &dst);

    // The data pump and the syncs (file_op_pump_linux.cpp).
    int copyContents(int srcFd, int dstFd, const struct stat &st, qint64 *copied, bool *atTarget);
    int copySparse(int srcFd, int dstFd, qint64 *copied, bool *atTarget);
    // length -1: to the end of the file. expected: where the file should end
    // (0: unknown, e.g. /proc files, so it is read to its end).
    int copyRange(int srcFd, int dstFd, off_t from, qint64 length, qint64 expected, qint64 *copied, bool *atTarget);
    // The info files of replaced items, made durable together (syncfs).
    void syncTrashInfo();

    // Moves, their merge check, their staging and rollback (file_op_move.cpp).
    Flow moveItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt);
    Flow moveAcrossVolumes(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt);
    bool findMergeProblem(const QByteArray &src, const QByteArray &dst, MergeProblem *problem);
    Flow checkMerge(const QByteArray &src, const QByteArray &dst);
    // Sends the file a copy or move is about to replace to the trash; where
    // no trash takes it the user may skip (nothing replaced) or cancel.
    Flow setAsideReplaced(const QByteArray &dst);

    // "移动" or "复制": what the user reads this operation as.
    const QString &actionText() const { return m_moving ? EngineTexts::ActionMove : EngineTexts::ActionCopy; }
    bool cancelled() const { return m_cancelled || m_cancelFlag.load(std::memory_order_relaxed); }
    void progress(const QByteArray &current, bool force = false);
    void afterChunk();

    EngineQuestions &m_questions;
    const std::atomic_bool &m_cancelFlag;
    const std::function<void(const FileOpProgress &)> &m_progressHandler;
    const EngineTestSettings &m_testing;

    bool m_moving = false;
    // Inside a folder merge, or putting a staged copy in place: only renames
    // happen, and a cancel there would leave half a merge, so it waits.
    bool m_merging = false;
    bool m_placing = false;
    QList<dev_t> m_trashReadyOn; // volumes whose trash a merge check found usable
    QList<QByteArray> m_unsyncedInfoDirs; // trash info folders written without fsync
    bool m_syncWrites = false; // a cross-volume move fsyncs before removing sources
    bool m_askOverwrite = true;
    bool m_overwriteAll = false;
    bool m_cancelled = false;
    bool m_failed = false;
    int m_skipped = 0;
    QString m_message;

    bool m_cloneWorks = true;
    bool m_copyRangeWorks = true;
    // Unnamed files need /proc to be given a name (linkat of /proc/self/fd/N).
    bool m_unnamedFilesWork = access("/proc/self/fd", X_OK) == 0;
    bool m_hardLinksWork = true;
    bool m_emptyPathLinkWorks = true;
    const uid_t m_euid = geteuid();
    QByteArray m_targetDirPath; // the folder being filled, and its descriptor
    int m_targetDirFd = -1;
    QByteArray m_failedPath; // the path the last failed step was about
    QString m_failReason; // a reason of our own for it, else the system's
    QHash<QPair<dev_t, ino_t>, QByteArray> m_linkedCopies; // a move: the first copy of a file with more links
    unsigned m_notedKinds = 0;
    QStringList m_notes;
    QByteArray m_buffer;
    quint64 m_tempCounter = 0;
    const QByteArray m_tempPrefix = ".korvan-" + QByteArray::number(qint64(getpid())) + '-';
    const mode_t m_umask = currentUmask();

    QByteArray m_spaceDir;
    qint64 m_spaceFree = 0;
    qint64 m_spaceCheckedMs = 0;

    QElapsedTimer m_clock;
    qint64 m_lastProgressMs = -ProgressIntervalMs;
    FileOpProgress m_progress;
    QByteArray m_currentPath;
};

} // namespace EngineJob
