#include "platform/engine/file_op_engine.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/fs_util.h"
#include "platform/engine/trash.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QList>
#include <QPair>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FsUtil;

namespace {

constexpr qint64 CopyChunkBytes = 16 * 1024 * 1024; // cancel and progress granularity
constexpr qint64 ReadWriteBufferBytes = 1024 * 1024;
constexpr qint64 ProgressIntervalMs = 100;
// The free space of a folder is measured again after this long, or sooner
// when our own writes since may have used it up.
constexpr qint64 SpaceRecheckMs = 100;
// Files above this size are looked for at the target before they are copied.
constexpr qint64 CheckBeforeCopyBytes = 256 * 1024;

mode_t currentUmask()
{
    // Reading it with umask() would briefly change it for every thread.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = status.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 022;
}

// A folder is this while it fills (owner-only; the sticky bit marks it as
// unfinished): a rerun after a kill finishes a folder left so.
constexpr mode_t UnfinishedFolderMode = S_ISVTX | S_IRWXU;

// rename() relative to one folder that fails with EEXIST instead of
// replacing; returns 0 or the errno.
int renameNoReplaceAt(int dirFd, const QByteArray &from, const QByteArray &to)
{
#ifdef RENAME_NOREPLACE
    if (renameat2(dirFd, from.constData(), dirFd, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    // No RENAME_NOREPLACE here: a second link refuses an existing name just as well.
    if (linkat(dirFd, from.constData(), dirFd, to.constData(), 0) == 0) {
        unlinkat(dirFd, from.constData(), 0);
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    struct stat st;
    if (fstatat(dirFd, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return renameat(dirFd, from.constData(), dirFd, to.constData()) == 0 ? 0 : errno;
}

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

// Removes path and everything below it without following a symlink: a
// link inside is removed itself, never what it points to.
void removeTreeAt(int dirFd, const QByteArray &name)
{
    const int fd = openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR *dir = fdopendir(fd)) {
            QList<QByteArray> names;
            while (const dirent *entry = readdir(dir)) {
                const char *child = entry->d_name;
                if (!(child[0] == '.' && (child[1] == 0 || (child[1] == '.' && child[2] == 0))))
                    names.append(QByteArray(child));
            }
            for (const QByteArray &child : std::as_const(names)) {
                if (unlinkat(fd, child.constData(), 0) != 0 && errno == EISDIR)
                    removeTreeAt(fd, child);
            }
            closedir(dir);
        } else {
            close(fd);
        }
    }
    unlinkat(dirFd, name.constData(), AT_REMOVEDIR);
}

void syncDir(const QByteArray &dir)
{
    const int fd = open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

bool sameTimes(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

QDateTime modifiedTime(const struct stat &st)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
}

class Job
{
public:
    Job(EngineQuestions &questions, const std::atomic_bool &cancelFlag,
        const std::function<void(const FileOpProgress &)> &progressHandler, qint64 testChunkBytes, int testDelayUs,
        const FileOpEngine::TestHook &testHook)
        : m_questions(questions)
        , m_cancelFlag(cancelFlag)
        , m_progressHandler(progressHandler)
        , m_testChunkBytes(testChunkBytes)
        , m_testDelayUs(testDelayUs)
        , m_testHook(testHook)
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

    FileOpResult runTrash(const QByteArray &source, bool ask);
    FileOpResult runCopyOrMove(const FileOpParams &params, const QByteArray &source);
    FileOpResult finish();

    Flow copyItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    Flow copyDir(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    Flow copyLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, bool replace,
                  Journal *journal);
    TargetRef targetRef(const QByteArray &dst) const;
    int stageFile(const QByteArray &src, const QByteArray &dst, const TargetRef &ref, Staged *staged,
                  SourceState *state);
    int stageLink(const QByteArray &src, const QByteArray &dst, const TargetRef &ref, const struct stat &srcSt,
                  Staged *staged);
    int publishStaged(const TargetRef &ref, Staged *staged);
    void discardStaged(const TargetRef &ref, Staged *staged);
    int copyContents(int srcFd, int dstFd, const struct stat &st, qint64 *copied, bool *atTarget);
    int copySparse(int srcFd, int dstFd, qint64 *copied, bool *atTarget);
    // length -1: to the end of the file. expected: where the file should end
    // (0: unknown, e.g. /proc files, so it is read to its end).
    int copyRange(int srcFd, int dstFd, off_t from, qint64 length, qint64 expected, qint64 *copied, bool *atTarget);
    void keepOwner(int fd, const struct stat &srcSt, const QByteArray &dst);
    void keepExtendedAttributes(int srcFd, int dstFd, const QByteArray &dst);
    Flow checkSpace(const QByteArray &dst, qint64 needed);
    // Sends the file a copy or move is about to replace to the trash; where
    // no trash takes it the user may skip (nothing replaced) or cancel.
    Flow setAsideReplaced(const QByteArray &dst);
    int failAt(const QByteArray &path, int errorCode);
    void note(Note kind, const QByteArray &path);
    void testPoint(const char *point, const QByteArray &path)
    {
        if (m_testHook)
            m_testHook(point, path);
    }

    Flow moveItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt);
    Flow moveAcrossVolumes(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt);
    bool findMergeProblem(const QByteArray &src, const QByteArray &dst, MergeProblem *problem);
    Flow checkMerge(const QByteArray &src, const QByteArray &dst);
    void syncTrashInfo();

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

    // "移动" or "复制": what the user reads this operation as.
    const QString &actionText() const { return m_moving ? EngineTexts::ActionMove : EngineTexts::ActionCopy; }
    bool cancelled() const { return m_cancelled || m_cancelFlag.load(std::memory_order_relaxed); }
    void progress(const QByteArray &current, bool force = false);
    void afterChunk();

    EngineQuestions &m_questions;
    const std::atomic_bool &m_cancelFlag;
    const std::function<void(const FileOpProgress &)> &m_progressHandler;
    const qint64 m_testChunkBytes;
    const int m_testDelayUs;
    const FileOpEngine::TestHook &m_testHook;

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

FileOpResult Job::run(const FileOpParams &params)
{
    QByteArray source = stripTrailingSlashes(encodePath(params.source));
    if (!source.startsWith('/'))
        return refuse(source, EngineTexts::ActionRead, EngineTexts::SourceNotAbsolute);
    if (params.mode == FileOpParams::Mode::Trash)
        return runTrash(source, params.askBeforeTrash);
    return runCopyOrMove(params, source);
}

FileOpResult Job::finish()
{
    progress(QByteArray(), true);
    FileOpResult result;
    result.notes = m_notes;
    if (m_cancelled) {
        result.status = FileOpResult::Status::Cancelled;
        result.message = EngineTexts::OperationCancelled;
    } else if (m_failed) {
        result.status = FileOpResult::Status::Failed;
        result.message = m_message;
    } else if (m_skipped > 0) {
        result.status = FileOpResult::Status::Skipped;
        result.message = EngineTexts::SkippedItems.arg(m_skipped);
        if (!m_message.isEmpty())
            result.message += QStringLiteral(" ") + m_message;
    }
    return result;
}

FileOpResult Job::refuse(const QByteArray &path, const QString &action, const QString &reason)
{
    ErrorQuestion question;
    question.path = displayPath(path);
    question.action = action;
    question.reason = reason;
    question.canRetry = false;
    question.canSkip = false;
    m_questions.askOnError(question);
    FileOpResult result;
    result.status = FileOpResult::Status::Failed;
    result.message = EngineTexts::ActionFailed.arg(action, question.path, reason);
    return result;
}

ErrorAnswer Job::reportError(const QByteArray &path, const QString &action, int errorCode, const QString &reason,
                             bool canRetry)
{
    ErrorQuestion question;
    question.path = displayPath(path);
    question.action = action;
    question.errorCode = errorCode;
    question.reason = reason.isEmpty() ? errorText(errorCode) : reason;
    question.canRetry = canRetry;
    const QString text = EngineTexts::ActionFailed.arg(action, question.path, question.reason);
    if (cancelled()) {
        m_cancelled = true;
        return ErrorAnswer::Cancel;
    }
    const ErrorAnswer answer = m_questions.askOnError(question);
    switch (answer) {
    case ErrorAnswer::Retry:
        if (canRetry)
            break;
        [[fallthrough]];
    case ErrorAnswer::Skip:
        ++m_skipped;
        m_message = text;
        return ErrorAnswer::Skip;
    case ErrorAnswer::Cancel:
        m_failed = true;
        m_message = text;
        break;
    }
    return answer;
}

Flow Job::stepFailed(const QByteArray &path, const QString &action, int errorCode, const QString &reason, bool canRetry)
{
    switch (reportError(path, action, errorCode, reason, canRetry)) {
    case ErrorAnswer::Retry: return Flow::Retry;
    case ErrorAnswer::Skip: return Flow::Skip;
    case ErrorAnswer::Cancel: return Flow::Stop;
    }
    return Flow::Stop;
}

void Job::progress(const QByteArray &current, bool force)
{
    if (!m_progressHandler)
        return;
    const qint64 now = m_clock.elapsed();
    if (!force && now - m_lastProgressMs < ProgressIntervalMs)
        return;
    m_lastProgressMs = now;
    if (!current.isEmpty())
        m_currentPath = current;
    // Decoded only when sent: most files start and end between two reports.
    m_progress.currentPath = displayPath(m_currentPath);
    m_progress.elapsedMs = now;
    m_progressHandler(m_progress);
}

void Job::afterChunk()
{
    testPoint("chunk-copied", m_currentPath);
    if (m_testDelayUs > 0)
        usleep(useconds_t(m_testDelayUs));
}

QByteArray Job::temporaryLeaf()
{
    // Short, hidden and unique: the real name may already be near NAME_MAX.
    return m_tempPrefix + QByteArray::number(++m_tempCounter) + ".part";
}

bool Job::listDir(const QByteArray &dir, QList<QByteArray> *names, int *errorCode)
{
    DIR *handle = opendir(dir.constData());
    if (!handle) {
        *errorCode = errno;
        return false;
    }
    errno = 0;
    while (const dirent *entry = readdir(handle)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        names->append(QByteArray(name));
    }
    *errorCode = errno;
    closedir(handle);
    return *errorCode == 0;
}

void Job::scan(const QByteArray &path, const struct stat &st)
{
    if (cancelled())
        return;
    if (!S_ISDIR(st.st_mode)) {
        ++m_progress.filesTotal;
        if (S_ISREG(st.st_mode))
            m_progress.bytesTotal += st.st_size;
        return;
    }
    QList<QByteArray> names;
    int err = 0;
    listDir(path, &names, &err); // unreadable folders are reported when copied
    for (const QByteArray &name : std::as_const(names)) {
        const QByteArray child = joinPath(path, name);
        struct stat childSt;
        if (lstat(child.constData(), &childSt) == 0)
            scan(child, childSt);
    }
}

// ---- trash ---------------------------------------------------------------

FileOpResult Job::runTrash(const QByteArray &source, bool ask)
{
    struct stat st;
    if (lstat(source.constData(), &st) != 0) {
        const int err = errno;
        return refuse(source, EngineTexts::ActionDelete, errorText(err));
    }
    if (ask && !m_questions.confirmTrash(displayPath(source))) {
        m_cancelled = true;
        return finish();
    }
    m_progress.filesTotal = 1;
    progress(source, true);
    for (;;) {
        const TrashResult trashed = Trash::moveToTrash(source);
        if (trashed.ok)
            break;
        const ErrorAnswer answer = reportError(source, EngineTexts::ActionDelete, trashed.errorCode, trashed.message);
        if (answer == ErrorAnswer::Retry)
            continue;
        if (m_failed)
            m_message = trashed.message;
        return finish();
    }
    m_progress.filesDone = 1;
    return finish();
}

// ---- copy and move -------------------------------------------------------

FileOpResult Job::runCopyOrMove(const FileOpParams &params, const QByteArray &source)
{
    m_moving = params.mode == FileOpParams::Mode::Move;
    m_askOverwrite = params.askBeforeOverwrite;
    const QString action = actionText();

    struct stat srcSt;
    if (lstat(source.constData(), &srcSt) != 0) {
        const int err = errno;
        QString reason = errorText(err);
        if (err == ENOENT && params.source.contains(QChar(0xFFFD)))
            reason += EngineTexts::UnreadableCharacters;
        return refuse(source, action, reason);
    }
    const QByteArray name = baseNameOf(source);
    if (source == "/" || name == "." || name == "..")
        return refuse(source, action, EngineTexts::CannotActOnPath.arg(action));

    QByteArray destDir = encodePath(params.destinationDir);
    if (destDir.size() > 1)
        destDir = stripTrailingSlashes(destDir);
    if (!destDir.startsWith('/'))
        return refuse(destDir, action, EngineTexts::DestinationNotAbsolute);

    // Refuse before anything is created: making the destination could
    // otherwise already change the source tree.
    const QByteArray canonicalSource = joinPath(canonicalPath(parentOf(source)), name);
    const QByteArray canonicalDest = canonicalPath(destDir);
    const QByteArray canonicalTarget = joinPath(canonicalDest, name);
    if (canonicalTarget == canonicalSource)
        return refuse(source, action, EngineTexts::SameLocation);
    if (S_ISDIR(srcSt.st_mode)
        && (canonicalDest == canonicalSource || canonicalDest.startsWith(QByteArray(canonicalSource + '/'))))
        return refuse(source, action, EngineTexts::IntoOwnSubfolder.arg(action));
    if (S_ISDIR(srcSt.st_mode)) {
        // By identity too: a bind mount or any other alias of the source
        // among the target's existing ancestors is the source itself.
        for (QByteArray ancestor = canonicalDest;; ancestor = parentOf(ancestor)) {
            struct stat st;
            if (stat(ancestor.constData(), &st) == 0 && st.st_dev == srcSt.st_dev && st.st_ino == srcSt.st_ino)
                return refuse(source, action, EngineTexts::IntoOwnSubfolder.arg(action));
            if (ancestor == "/" || !ancestor.startsWith('/'))
                break;
        }
    }

    // The folders of the target path that this operation creates: a move
    // that fails or is cancelled leaves none of them behind.
    QList<QByteArray> createdPath;
    for (QByteArray missing = destDir; missing != "/";) {
        struct stat st;
        if (lstat(missing.constData(), &st) == 0 || errno != ENOENT)
            break;
        createdPath.prepend(missing);
        missing = parentOf(missing);
    }

    struct stat destSt;
    if (stat(destDir.constData(), &destSt) != 0) {
        if (errno != ENOENT) {
            const int err = errno;
            return refuse(destDir, EngineTexts::ActionOpenDestination, errorText(err));
        }
        if (params.askBeforeCreatingDestination && !m_questions.confirmCreateFolder(displayPath(destDir))) {
            m_cancelled = true;
            return finish();
        }
        for (;;) {
            const int err = makePath(destDir, 0777);
            if (err == 0)
                break;
            const ErrorAnswer answer = reportError(destDir, EngineTexts::ActionCreateFolder, err);
            if (answer != ErrorAnswer::Retry)
                return finish();
        }
    } else if (!S_ISDIR(destSt.st_mode)) {
        return refuse(destDir, action, EngineTexts::DestinationNotFolder);
    }

    const QByteArray target = joinPath(destDir, name);
    struct stat targetSt;
    if (lstat(target.constData(), &targetSt) == 0 && targetSt.st_dev == srcSt.st_dev && targetSt.st_ino == srcSt.st_ino)
        return refuse(source, action, EngineTexts::SameFile);

    if (m_moving) {
        moveItem(source, target, srcSt);
        syncTrashInfo();
        if (m_cancelled || m_failed) {
            for (auto it = createdPath.crbegin(); it != createdPath.crend(); ++it) {
                if (rmdir(it->constData()) != 0)
                    break; // holds something that is not ours
            }
        }
    } else {
        scan(source, srcSt);
        progress(source, true);
        copyItem(source, target, srcSt, nullptr);
    }
    return finish();
}

Flow Job::resolveConflict(const QByteArray &src, const struct stat &srcSt, const QByteArray &dst,
                          const struct stat &dstSt)
{
    if (!m_askOverwrite || m_overwriteAll)
        return Flow::Continue;
    if (cancelled()) {
        m_cancelled = true;
        return Flow::Stop;
    }
    OverwriteQuestion question;
    question.source = {displayPath(src), S_ISREG(srcSt.st_mode) ? qint64(srcSt.st_size) : -1, modifiedTime(srcSt)};
    question.target = {displayPath(dst), S_ISREG(dstSt.st_mode) ? qint64(dstSt.st_size) : -1, modifiedTime(dstSt)};
    switch (m_questions.askOverwrite(question)) {
    case OverwriteAnswer::OverwriteAll: m_overwriteAll = true; return Flow::Continue;
    case OverwriteAnswer::Overwrite: return Flow::Continue;
    case OverwriteAnswer::Skip: ++m_skipped; return Flow::Skip;
    case OverwriteAnswer::Cancel: m_cancelled = true; return Flow::Stop;
    }
    return Flow::Stop;
}

Flow Job::copyItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal)
{
    if (cancelled()) {
        m_cancelled = true;
        return Flow::Stop;
    }
    const QString action = actionText();
    const bool leaf = S_ISREG(srcSt.st_mode) || S_ISLNK(srcSt.st_mode);
    if (leaf) {
        // Most targets do not exist yet: copy right away and look only on EEXIST.
        const Flow created = copyLeaf(src, dst, srcSt, false, journal);
        if (created != Flow::Exists)
            return created;
    }
    for (;;) {
        struct stat dstSt;
        const bool exists = lstat(dst.constData(), &dstSt) == 0;
        if (!exists && errno == ENOENT && leaf) {
            const Flow created = copyLeaf(src, dst, srcSt, false, journal);
            if (created != Flow::Exists)
                return created;
            continue;
        }
        if (!exists && errno != ENOENT) {
            const Flow next = stepFailed(dst, action, errno);
            if (next == Flow::Retry)
                continue;
            return next;
        }
        if (exists && dstSt.st_dev == srcSt.st_dev && dstSt.st_ino == srcSt.st_ino) {
            return stepFailed(src, action, 0, EngineTexts::SameFile, false);
        }
        if (S_ISDIR(srcSt.st_mode)) {
            if (exists && !S_ISDIR(dstSt.st_mode)) {
                const Flow next = stepFailed(dst, action, EEXIST, EngineTexts::FileWhereFolderGoes);
                if (next == Flow::Retry)
                    continue;
                return next;
            }
            return copyDir(src, dst, srcSt, journal);
        }
        if (!S_ISREG(srcSt.st_mode) && !S_ISLNK(srcSt.st_mode)) {
            return stepFailed(src, action, 0, EngineTexts::UnsupportedFileType, false);
        }
        if (exists && S_ISDIR(dstSt.st_mode)) {
            const Flow next = stepFailed(dst, action, EISDIR, EngineTexts::FolderWhereFileGoes);
            if (next == Flow::Retry)
                continue;
            return next;
        }
        if (exists) {
            const Flow flow = resolveConflict(src, srcSt, dst, dstSt);
            if (flow != Flow::Continue) {
                if (flow == Flow::Skip)
                    m_progress.filesDone++;
                return flow;
            }
        }
        const Flow copied = copyLeaf(src, dst, srcSt, exists, journal);
        if (copied != Flow::Exists)
            return copied;
        // The name was taken between the look and the copy: ask about it.
    }
}

Job::TargetRef Job::targetRef(const QByteArray &dst) const
{
    if (m_targetDirFd >= 0 && parentOf(dst) == m_targetDirPath)
        return {m_targetDirFd, baseNameOf(dst)};
    return {AT_FDCWD, dst};
}

Flow Job::copyDir(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal)
{
    const QString action = actionText();
    QList<QByteArray> names;
    for (;;) {
        names.clear();
        int err = 0;
        if (listDir(src, &names, &err))
            break;
        const Flow next = stepFailed(src, EngineTexts::ActionReadFolder, err);
        if (next == Flow::Retry)
            continue;
        return next;
    }

    // The folder is filled and finished through the descriptor opened here:
    // a link swapped in for its name later redirects nothing.
    const TargetRef ref = targetRef(dst);
    bool created = false;
    bool unfinished = false; // left by a run that was killed: finished by this one
    int dirFd = -1;
    for (;;) {
        int err = 0;
        // Owner-only while it fills; the sticky bit marks it as not finished yet.
        if (mkdirat(ref.dirFd, ref.name.constData(), UnfinishedFolderMode) == 0)
            created = true;
        else if (errno != EEXIST)
            err = errno;
        if (err == 0) {
            dirFd = openat(ref.dirFd, ref.name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            struct stat dirSt;
            if (dirFd < 0) {
                err = errno == ELOOP ? ENOTDIR : errno;
            } else if (fstat(dirFd, &dirSt) != 0) {
                err = errno;
            } else if (created && dirSt.st_uid != m_euid) {
                err = EEXIST; // not the folder we just made
            } else {
                unfinished = !created && (dirSt.st_mode & 07777) == UnfinishedFolderMode && dirSt.st_uid == m_euid;
                break;
            }
            if (dirFd >= 0)
                close(dirFd);
            dirFd = -1;
            // The name is left alone: it may no longer be ours. A folder of ours
            // left there keeps its unfinished mark, and a retry finishes it.
            created = false;
        }
        const Flow next = stepFailed(dst, EngineTexts::ActionCreateFolder, err);
        if (next == Flow::Retry)
            continue;
        return next;
    }
    auto closeDir = qScopeGuard([&] { close(dirFd); });
    if (journal) {
        if (created)
            journal->createdDirs.append(dst);
        journal->sourceDirs.append(src);
        journal->targetDirs.append(dst);
    }
    testPoint("folder-created", dst);

    const QByteArray outerPath = m_targetDirPath;
    const int outerFd = m_targetDirFd;
    m_targetDirPath = dst;
    m_targetDirFd = dirFd;
    Flow flow = Flow::Continue;
    for (const QByteArray &name : std::as_const(names)) {
        const QByteArray child = joinPath(src, name);
        struct stat childSt;
        bool gone = false;
        for (;;) {
            if (lstat(child.constData(), &childSt) == 0)
                break;
            if (errno == ENOENT) {
                gone = true; // removed while we worked; nothing to copy
                break;
            }
            if (stepFailed(child, action, errno) == Flow::Retry)
                continue;
            gone = true;
            break;
        }
        if (m_failed || m_cancelled) {
            flow = Flow::Stop;
            break;
        }
        if (gone)
            continue;
        if (copyItem(child, joinPath(dst, name), childSt, journal) == Flow::Stop) {
            flow = Flow::Stop;
            break;
        }
    }
    m_targetDirPath = outerPath;
    m_targetDirFd = outerFd;

    // Also after a stop: what was copied keeps the folder's real mode and
    // time. A folder that was there before keeps its own, as with cp.
    if (created || unfinished) {
        if (m_moving) {
            keepOwner(dirFd, srcSt, dst);
            const int srcFd = open(src.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (srcFd >= 0) {
                keepExtendedAttributes(srcFd, dirFd, dst);
                close(srcFd);
            }
        }
        fchmod(dirFd, srcSt.st_mode & 07777);
        const struct timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
        futimens(dirFd, times);
    }
    return flow;
}

Flow Job::checkSpace(const QByteArray &dst, qint64 needed)
{
    if (needed <= 0)
        return Flow::Continue;
    const QByteArray dir = parentOf(dst);
    // Whole blocks, plus one for the file's own metadata.
    const qint64 blocks = (needed + 4095) / 4096 * 4096 + 4096;
    const qint64 now = m_clock.elapsed();
    if (dir == m_spaceDir && now - m_spaceCheckedMs < SpaceRecheckMs && m_spaceFree >= blocks) {
        m_spaceFree -= blocks;
        return Flow::Continue;
    }
    for (;;) {
        struct statvfs vfs;
        if (statvfs(dir.constData(), &vfs) != 0 || vfs.f_blocks == 0)
            return Flow::Continue; // no figure (ramfs and some FUSE volumes count no blocks)
        const qint64 available = qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
        if (available >= needed) {
            m_spaceDir = dir;
            m_spaceFree = available - blocks;
            m_spaceCheckedMs = m_clock.elapsed();
            return Flow::Continue;
        }
        m_spaceDir.clear();
        const Flow next = stepFailed(dst, actionText(), ENOSPC,
                                     EngineTexts::NoSpaceFor.arg(formatSize(needed), formatSize(available)));
        if (next == Flow::Retry)
            continue;
        return next;
    }
}

Flow Job::copyLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, bool replace,
                   Journal *journal)
{
    if (S_ISREG(srcSt.st_mode)) {
        // A sparse file needs only its data blocks.
        const qint64 allocated = qint64(srcSt.st_blocks) * 512;
        const Flow space = checkSpace(dst, std::min(qint64(srcSt.st_size), allocated));
        if (space != Flow::Continue) {
            if (space == Flow::Skip)
                m_progress.filesDone++;
            return space;
        }
    }
    const qint64 bytesBefore = m_progress.bytesDone;
    m_currentPath = src;
    const TargetRef ref = targetRef(dst);
    Staged staged;
    SourceState state;
    for (;;) {
        // A small file or a link is quicker copied than looked for: its name
        // is refused at the end (EEXIST) all the same. A big one is looked for first.
        if (!replace && S_ISREG(srcSt.st_mode) && srcSt.st_size > CheckBeforeCopyBytes) {
            struct stat existing;
            if (fstatat(ref.dirFd, ref.name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
                return Flow::Exists;
        }
        m_failedPath.clear();
        m_failReason.clear();
        staged = Staged();
        int err = S_ISREG(srcSt.st_mode) ? stageFile(src, dst, ref, &staged, &state)
                                         : stageLink(src, dst, ref, srcSt, &staged);
        if (err == 0 && replace) {
            // The new content is complete: only now does the old one go, to the trash.
            const Flow aside = setAsideReplaced(dst);
            if (aside != Flow::Continue) {
                discardStaged(ref, &staged);
                m_progress.bytesDone = bytesBefore;
                if (aside == Flow::Skip)
                    m_progress.filesDone++;
                return aside;
            }
        }
        if (err == 0) {
            testPoint("file-written", dst);
            err = publishStaged(ref, &staged);
            if (err == EEXIST && !replace) {
                discardStaged(ref, &staged);
                m_progress.bytesDone = bytesBefore;
                return Flow::Exists;
            }
            if (err == EEXIST)
                m_failReason = EngineTexts::NameTakenWhileReplacing;
            if (err != 0 && !staged.linkFrom.isEmpty() && err != EEXIST) {
                // The target refuses a second link: the file is copied on its own.
                note(Note::HardLinks, dst);
                m_hardLinksWork = false;
                discardStaged(ref, &staged);
                continue;
            }
            m_failedPath = dst;
        }
        discardStaged(ref, &staged);
        if (err == 0)
            break;
        m_progress.bytesDone = bytesBefore;
        if (err == ECANCELED || cancelled()) {
            m_cancelled = true;
            return Flow::Stop;
        }
        const Flow next = stepFailed(m_failedPath.isEmpty() ? src : m_failedPath, actionText(), err, m_failReason);
        if (next == Flow::Retry)
            continue;
        if (next == Flow::Skip)
            m_progress.filesDone++;
        return next;
    }
    m_progress.filesDone++;
    if (m_moving && S_ISREG(srcSt.st_mode) && state.links > 1 && staged.linkFrom.isEmpty())
        m_linkedCopies.insert({state.device, state.inode}, dst);
    if (journal) {
        if (!replace)
            journal->createdFiles.append(dst);
        journal->copiedItems.append({src, dst});
        journal->copiedStates.append(state);
    }
    progress(src);
    return Flow::Continue;
}

int Job::failAt(const QByteArray &path, int errorCode)
{
    m_failedPath = path;
    return errorCode;
}

int Job::stageFile(const QByteArray &src, const QByteArray &dst, const TargetRef &ref, Staged *staged,
                   SourceState *state)
{
    testPoint("source-checked", src);
    // Non-blocking: a FIFO swapped in after the type check opens at once
    // instead of waiting for a writer, and is refused below.
    const QString &swapped = EngineTexts::SwappedWhileCopying;
    const int srcFd = open(src.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (srcFd < 0) {
        if (errno == ELOOP || errno == ENXIO) // a link or a socket now
            m_failReason = swapped;
        return failAt(src, errno);
    }
    auto closeSource = qScopeGuard([&] { close(srcFd); });
    struct stat st;
    if (fstat(srcFd, &st) != 0)
        return failAt(src, errno);
    if (!S_ISREG(st.st_mode)) {
        m_failReason = swapped;
        return failAt(src, EINVAL);
    }
    if (fcntl(srcFd, F_SETFL, 0) != 0) // clears O_NONBLOCK (the only status flag we set)
        return failAt(src, errno);
    state->device = st.st_dev;
    state->inode = st.st_ino;
    state->links = st.st_nlink;
    state->modified = st.st_mtim;

    if (m_moving && m_hardLinksWork && st.st_nlink > 1) {
        const auto first = m_linkedCopies.constFind({st.st_dev, st.st_ino});
        if (first != m_linkedCopies.cend()) {
            staged->linkFrom = *first;
            state->size = st.st_size;
            m_progress.bytesDone += st.st_size;
            return 0;
        }
    }

    const mode_t createMode = st.st_mode & 0777;
    int dstFd = -1;
    if (m_unnamedFilesWork) {
        // No name at all until it is complete: a kill leaves nothing behind.
        const QByteArray folder = ref.dirFd == AT_FDCWD ? parentOf(ref.name) : QByteArray(".");
        dstFd = openat(ref.dirFd, folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode);
        if (dstFd < 0) {
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                return failAt(dst, errno);
            m_unnamedFilesWork = false;
        }
    }
    if (dstFd < 0) {
        staged->tempName = ref.sibling(temporaryLeaf());
        dstFd = openat(ref.dirFd, staged->tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (dstFd < 0) {
            staged->tempName.clear();
            return failAt(dst, errno);
        }
    }
    staged->fd = dstFd;

    qint64 copied = 0;
    bool atTarget = false;
    if (const int err = copyContents(srcFd, dstFd, st, &copied, &atTarget))
        return failAt(atTarget ? dst : src, err);
    state->size = copied;

    if (m_moving) {
        keepOwner(dstFd, st, dst);
        keepExtendedAttributes(srcFd, dstFd, dst);
    }
    mode_t mode = st.st_mode & 07777;
    if (mode & (S_ISUID | S_ISGID)) {
        // Like cp: set-id bits only on a copy with the source's owner and group.
        struct stat copySt;
        if (fstat(dstFd, &copySt) != 0 || copySt.st_uid != st.st_uid || copySt.st_gid != st.st_gid)
            mode &= ~(S_ISUID | S_ISGID);
    }
    if (mode != (createMode & ~m_umask) && fchmod(dstFd, mode) != 0)
        return failAt(dst, errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(dstFd, times) != 0)
        return failAt(dst, errno);
    if (m_syncWrites && fsync(dstFd) != 0)
        return failAt(dst, errno);
    return 0;
}

int Job::stageLink(const QByteArray &src, const QByteArray &dst, const TargetRef &ref, const struct stat &srcSt,
                   Staged *staged)
{
    QByteArray linkTarget(qsizetype(srcSt.st_size > 0 ? srcSt.st_size : 255) + 1, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = readlink(src.constData(), linkTarget.data(), size_t(linkTarget.size()));
        if (n < 0)
            return failAt(src, errno);
        if (n < linkTarget.size()) {
            linkTarget.truncate(n);
            break;
        }
        linkTarget.resize(linkTarget.size() * 2);
    }
    const QByteArray temporary = ref.sibling(temporaryLeaf());
    if (symlinkat(linkTarget.constData(), ref.dirFd, temporary.constData()) != 0)
        return failAt(dst, errno);
    staged->tempName = temporary;
    if (m_moving && fchownat(ref.dirFd, temporary.constData(), srcSt.st_uid, srcSt.st_gid, AT_SYMLINK_NOFOLLOW) != 0
        && !(errno == EPERM && m_euid != 0))
        note(Note::Owner, dst);
    const struct timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
    utimensat(ref.dirFd, temporary.constData(), times, AT_SYMLINK_NOFOLLOW);
    return 0;
}

int Job::publishStaged(const TargetRef &ref, Staged *staged)
{
    if (!staged->linkFrom.isEmpty()) {
        // Another name of a file copied before: one more link, as in the source.
        return linkat(AT_FDCWD, staged->linkFrom.constData(), ref.dirFd, ref.name.constData(), 0) == 0 ? 0 : errno;
    }
    if (staged->tempName.isEmpty()) {
        // The unnamed file gets its name; linkat never replaces an existing one.
        if (m_emptyPathLinkWorks) {
            if (linkat(staged->fd, "", ref.dirFd, ref.name.constData(), AT_EMPTY_PATH) == 0)
                return 0;
            if (errno != ENOENT && errno != EPERM && errno != EINVAL)
                return errno;
            m_emptyPathLinkWorks = false; // older kernels allow it only with CAP_DAC_READ_SEARCH
        }
        char procPath[64];
        snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", staged->fd);
        if (linkat(AT_FDCWD, procPath, ref.dirFd, ref.name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        return errno;
    }
    const int err = renameNoReplaceAt(ref.dirFd, staged->tempName, ref.name);
    if (err == 0)
        staged->tempName.clear();
    return err;
}

void Job::discardStaged(const TargetRef &ref, Staged *staged)
{
    if (staged->fd >= 0)
        close(staged->fd);
    staged->fd = -1;
    // Only our own temporary name: never the final one.
    if (!staged->tempName.isEmpty())
        unlinkat(ref.dirFd, staged->tempName.constData(), 0);
    staged->tempName.clear();
}

int Job::copyContents(int srcFd, int dstFd, const struct stat &st, qint64 *copied, bool *atTarget)
{
    const bool slowedDown = m_testDelayUs > 0 || m_testChunkBytes > 0;
    // A clone shares the blocks (btrfs, XFS): instant, and no space used.
    if (m_cloneWorks && !slowedDown && st.st_size > 0) {
        if (ioctl(dstFd, FICLONE, srcFd) == 0) {
            struct stat cloned;
            if (fstat(dstFd, &cloned) != 0) {
                *atTarget = true;
                return errno;
            }
            *copied = cloned.st_size;
            m_progress.bytesDone += cloned.st_size;
            return 0;
        }
        if (errno == EOPNOTSUPP || errno == ENOTTY || errno == EINVAL || errno == EXDEV || errno == EPERM) {
            m_cloneWorks = errno == EXDEV; // another pair of volumes may still clone
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

int Job::copySparse(int srcFd, int dstFd, qint64 *copied, bool *atTarget)
{
    off_t position = 0;
    qint64 dataBytes = 0;
    for (;;) {
        const off_t data = lseek(srcFd, position, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break; // no data after position
            if (position == 0 && (errno == EINVAL || errno == EOPNOTSUPP))
                return EOPNOTSUPP; // the file system cannot tell: copy it all
            return errno;
        }
        const off_t hole = lseek(srcFd, data, SEEK_HOLE);
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
    const off_t end = lseek(srcFd, 0, SEEK_END);
    if (end < 0)
        return errno;
    if (ftruncate(dstFd, end) != 0) {
        *atTarget = true;
        return errno;
    }
    *copied = end;
    m_progress.bytesDone += end - dataBytes; // the holes count as done too
    return 0;
}

int Job::copyRange(int srcFd, int dstFd, off_t from, qint64 length, qint64 expected, qint64 *copied, bool *atTarget)
{
    const auto targetSide = [](int err) {
        return err == ENOSPC || err == EDQUOT || err == EFBIG || err == EROFS || err == EPERM;
    };
    const qint64 chunk = m_testChunkBytes > 0 ? m_testChunkBytes : CopyChunkBytes;
    const auto wanted = [&](qint64 most) { return length < 0 ? most : std::min(most, length - *copied); };
    *copied = 0;
    while (expected > 0 && m_copyRangeWorks && wanted(chunk) > 0) {
        loff_t in = from + *copied;
        loff_t out = in;
        const ssize_t n = copy_file_range(srcFd, &in, dstFd, &out, size_t(wanted(chunk)), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (*copied == 0
                && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)) {
                if (errno != EXDEV)
                    m_copyRangeWorks = false;
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
        m_progress.bytesDone += n;
        afterChunk();
        if (cancelled())
            return ECANCELED;
        progress(QByteArray());
        // Fewer bytes than asked for, ending where the file was said to end:
        // its end, without one more call to find out.
        if (shortCount && *copied == expected)
            return 0;
    }
    if (length >= 0 && *copied >= length)
        return 0;

    if (m_buffer.isEmpty())
        m_buffer.resize(ReadWriteBufferBytes);
    const qint64 bufferBytes = m_testChunkBytes > 0 ? std::min(m_testChunkBytes, ReadWriteBufferBytes)
                                                    : ReadWriteBufferBytes;
    while (wanted(bufferBytes) > 0) {
        const ssize_t n = pread(srcFd, m_buffer.data(), size_t(wanted(bufferBytes)), from + *copied);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        ssize_t written = 0;
        while (written < n) {
            const ssize_t w = pwrite(dstFd, m_buffer.constData() + written, size_t(n - written),
                                     from + *copied + written);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                *atTarget = true;
                return errno;
            }
            written += w;
        }
        *copied += n;
        m_progress.bytesDone += n;
        afterChunk();
        if (cancelled())
            return ECANCELED;
        progress(QByteArray());
    }
    return 0;
}

void Job::keepOwner(int fd, const struct stat &srcSt, const QByteArray &dst)
{
    if (fchown(fd, srcSt.st_uid, srcSt.st_gid) == 0)
        return;
    if (errno == EPERM && m_euid != 0) {
        // A user cannot give files away; the group may still be one of theirs.
        if (fchown(fd, uid_t(-1), srcSt.st_gid) != 0) { }
        return;
    }
    note(Note::Owner, dst);
}

void Job::keepExtendedAttributes(int srcFd, int dstFd, const QByteArray &dst)
{
    QByteArray names;
    for (;;) {
        const ssize_t size = flistxattr(srcFd, nullptr, 0);
        if (size <= 0)
            return; // none, or the source volume has none
        names.resize(size);
        const ssize_t n = flistxattr(srcFd, names.data(), size_t(names.size()));
        if (n >= 0) {
            names.truncate(n);
            break;
        }
        if (errno != ERANGE)
            return;
    }
    QByteArray value;
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t size = fgetxattr(srcFd, name.constData(), nullptr, 0);
        if (size < 0)
            continue;
        value.resize(size);
        const ssize_t n = fgetxattr(srcFd, name.constData(), value.data(), size_t(value.size()));
        if (n < 0)
            continue;
        // ACLs are attributes too (system.posix_acl_*).
        if (fsetxattr(dstFd, name.constData(), value.constData(), size_t(n), 0) != 0)
            note(Note::ExtendedAttributes, dst);
    }
}

void Job::note(Note kind, const QByteArray &path)
{
    // One line per kind keeps the list short; the first path shows where.
    if (m_notedKinds & (1u << unsigned(kind)))
        return;
    m_notedKinds |= 1u << unsigned(kind);
    const QString where = displayPath(path);
    switch (kind) {
    case Note::Owner: m_notes.append(EngineTexts::NoteOwner.arg(where)); break;
    case Note::ExtendedAttributes: m_notes.append(EngineTexts::NoteExtendedAttributes.arg(where)); break;
    case Note::HardLinks: m_notes.append(EngineTexts::NoteHardLinks.arg(where)); break;
    }
}

Flow Job::moveItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt)
{
    if (!m_merging && !m_placing && cancelled()) {
        m_cancelled = true;
        return Flow::Stop;
    }
    const QString action = EngineTexts::ActionMove;
    const auto moved = [&] {
        if (!m_placing) {
            m_progress.filesDone++;
            progress(src);
        }
        return Flow::Continue;
    };
    for (;;) {
        // A new name, or EEXIST within the volume, or EXDEV across mounts
        // (also bind mounts of one volume): the target is not touched.
        if (renameNoReplace(src, dst) == 0)
            return moved();
        const int renameError = errno;
        if (renameError == EXDEV)
            return moveAcrossVolumes(src, dst, srcSt);
        struct stat dstSt;
        if (renameError != EEXIST || lstat(dst.constData(), &dstSt) != 0) {
            if (renameError == EEXIST)
                continue; // gone again meanwhile
            const Flow next = stepFailed(src, action, renameError);
            if (next == Flow::Retry)
                continue;
            return next;
        }
        if (dstSt.st_dev == srcSt.st_dev && dstSt.st_ino == srcSt.st_ino) {
            return stepFailed(src, action, 0, EngineTexts::SameFile, false);
        }
        const bool srcIsDir = S_ISDIR(srcSt.st_mode);
        const bool dstIsDir = S_ISDIR(dstSt.st_mode);
        if (srcIsDir != dstIsDir) {
            const Flow next = stepFailed(dst, action, srcIsDir ? EEXIST : EISDIR,
                                         srcIsDir ? EngineTexts::FileWhereFolderGoes
                                                  : EngineTexts::FolderWhereFileGoes);
            if (next == Flow::Retry)
                continue;
            return next;
        }
        // Another volume (where renameat2 could not tell): copy first, so
        // that nothing in the target changes before the copy is complete.
        if (dstSt.st_dev != srcSt.st_dev)
            return moveAcrossVolumes(src, dst, srcSt);
        if (srcIsDir) {
            // Merge into the folder that is already there, all or nothing:
            // every clash is looked for before the first rename.
            const bool outermost = !m_merging;
            if (outermost) {
                const Flow checked = checkMerge(src, dst);
                if (checked != Flow::Continue)
                    return checked;
            }
            m_merging = true;
            auto endMerge = qScopeGuard([&] { m_merging = !outermost; });
            QList<QByteArray> names;
            int err = 0;
            if (!listDir(src, &names, &err)) {
                const Flow next = stepFailed(src, EngineTexts::ActionReadFolder, err);
                if (next == Flow::Retry)
                    continue;
                return next;
            }
            const int skippedBefore = m_skipped;
            for (const QByteArray &name : std::as_const(names)) {
                const QByteArray child = joinPath(src, name);
                struct stat childSt;
                if (lstat(child.constData(), &childSt) != 0)
                    continue;
                if (moveItem(child, joinPath(dst, name), childSt) == Flow::Stop)
                    return Flow::Stop;
            }
            if (m_skipped == skippedBefore && rmdir(src.constData()) != 0) {
                return stepFailed(src, EngineTexts::ActionRemoveSourceFolder, errno, QString(), false);
            }
            return Flow::Continue;
        }
        const Flow conflict = resolveConflict(src, srcSt, dst, dstSt);
        if (conflict != Flow::Continue)
            return conflict;
        // What a move replaces goes to the trash, restorable, as a delete would.
        const Flow aside = setAsideReplaced(dst);
        if (aside != Flow::Continue)
            return aside;
        // The name is free now; if someone took it meanwhile, start over.
    }
}

Flow Job::setAsideReplaced(const QByteArray &dst)
{
    for (;;) {
        // A merge may replace thousands: their info files are made durable
        // together at the end of the operation (syncTrashInfo).
        const TrashResult trashed = Trash::moveToTrash(dst, false);
        if (trashed.ok) {
            const QByteArray infoDir = parentOf(trashed.infoPath);
            if (!m_unsyncedInfoDirs.contains(infoDir))
                m_unsyncedInfoDirs.append(infoDir);
            return Flow::Continue;
        }
        struct stat st;
        if (lstat(dst.constData(), &st) != 0 && errno == ENOENT)
            return Flow::Continue;
        const Flow next = stepFailed(dst, EngineTexts::ActionReplace, trashed.errorCode,
                                     EngineTexts::ReplacedNotTrashed.arg(trashed.reason));
        if (next == Flow::Retry)
            continue;
        return next;
    }
}

void Job::syncTrashInfo()
{
    for (const QByteArray &dir : std::as_const(m_unsyncedInfoDirs)) {
        const int fd = open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            syncfs(fd);
            close(fd);
        }
    }
    m_unsyncedInfoDirs.clear();
}

bool Job::findMergeProblem(const QByteArray &src, const QByteArray &dst, MergeProblem *problem)
{
    // Entries leave src and arrive in dst: both must be writable.
    for (const QByteArray &dir : {src, dst}) {
        if (access(dir.constData(), W_OK | X_OK) != 0) {
            *problem = {dir, errno, errorText(errno)};
            return true;
        }
    }
    QList<QByteArray> names;
    int err = 0;
    if (!listDir(src, &names, &err)) {
        *problem = {src, err, errorText(err)};
        return true;
    }
    for (const QByteArray &name : std::as_const(names)) {
        const QByteArray from = joinPath(src, name);
        const QByteArray to = joinPath(dst, name);
        struct stat fromSt;
        struct stat toSt;
        if (lstat(from.constData(), &fromSt) != 0)
            continue; // gone meanwhile: nothing to move
        if (lstat(to.constData(), &toSt) != 0) {
            if (errno == ENOENT)
                continue; // arrives by one rename
            *problem = {to, errno, errorText(errno)};
            return true;
        }
        if (fromSt.st_dev == toSt.st_dev && fromSt.st_ino == toSt.st_ino) {
            *problem = {from, 0, EngineTexts::SameFile};
            return true;
        }
        const bool fromDir = S_ISDIR(fromSt.st_mode);
        if (fromDir != S_ISDIR(toSt.st_mode)) {
            *problem = {to, fromDir ? EEXIST : EISDIR,
                        fromDir ? EngineTexts::FileWhereFolderGoes : EngineTexts::FolderWhereFileGoes};
            return true;
        }
        if (fromDir && findMergeProblem(from, to, problem))
            return true;
        if (!fromDir && !m_trashReadyOn.contains(toSt.st_dev)) {
            // This one will be replaced: its trash must be able to take it
            // (one look per volume is enough).
            const TrashResult trash = Trash::checkTrashFor(to);
            if (!trash.ok) {
                *problem = {to, trash.errorCode, EngineTexts::ReplacedNotTrashed.arg(trash.reason)};
                return true;
            }
            m_trashReadyOn.append(toSt.st_dev);
        }
    }
    return false;
}

Flow Job::checkMerge(const QByteArray &src, const QByteArray &dst)
{
    for (;;) {
        m_trashReadyOn.clear();
        MergeProblem problem;
        if (access(parentOf(src).constData(), W_OK | X_OK) != 0)
            problem = {parentOf(src), errno, errorText(errno)}; // src itself is removed at the end
        else if (!findMergeProblem(src, dst, &problem))
            return Flow::Continue;
        const Flow next = stepFailed(problem.path, EngineTexts::ActionMove, problem.errorCode,
                                     EngineTexts::MergeRefused.arg(problem.reason));
        if (next == Flow::Retry)
            continue;
        return next;
    }
}

Flow Job::moveAcrossVolumes(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt)
{
    // The whole item is copied into a staging folder of ours on the target's
    // volume, made durable and checked; only then is it put in place by
    // renames (the same-volume rules) and are the sources removed. Until the
    // copy is complete nothing in the target is touched.
    m_syncWrites = true;
    struct stat dstSt;
    const bool dstIsDir = lstat(dst.constData(), &dstSt) == 0 && S_ISDIR(dstSt.st_mode);
    if (S_ISDIR(srcSt.st_mode) && dstIsDir) {
        const Flow checked = checkMerge(src, dst);
        if (checked != Flow::Continue)
            return checked;
    }
    // Inside a target folder that exists (it may be a mount point of its
    // own), else beside the name it will get.
    const QByteArray stagingParent = dstIsDir ? dst : parentOf(dst);
    QByteArray staging;
    for (;;) {
        staging = joinPath(stagingParent, temporaryLeaf());
        if (mkdir(staging.constData(), 0700) == 0)
            break;
        const int err = errno;
        if (err == EEXIST)
            continue;
        const Flow next = stepFailed(stagingParent, EngineTexts::ActionCreateFolder, err);
        if (next == Flow::Retry)
            continue;
        return next;
    }
    // Whatever is still staged when this returns was not put in place.
    auto dropStaging = qScopeGuard([&] { removeTreeAt(AT_FDCWD, staging); });

    scan(src, srcSt);
    Journal journal;
    const int skippedBefore = m_skipped;
    const QByteArray staged = joinPath(staging, baseNameOf(dst));
    const Flow copied = copyItem(src, staged, srcSt, &journal);
    if (copied == Flow::Stop)
        return Flow::Stop;
    if (copied == Flow::Skip && journal.copiedItems.isEmpty() && journal.createdDirs.isEmpty())
        return Flow::Skip;

    for (const QByteArray &dir : std::as_const(journal.targetDirs))
        syncDir(dir);
    syncDir(staging);
    for (const auto &item : std::as_const(journal.copiedItems)) {
        struct stat a;
        struct stat b;
        const bool same = lstat(item.first.constData(), &a) == 0 && lstat(item.second.constData(), &b) == 0
            && (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT)
            && (!S_ISREG(a.st_mode) || (a.st_size == b.st_size && sameTimes(a.st_mtim, b.st_mtim)));
        if (!same) {
            reportError(item.first, EngineTexts::ActionMove, EIO, EngineTexts::CopyDiffers, false);
            m_failed = true;
            return Flow::Stop;
        }
    }

    struct stat stagedSt;
    if (lstat(staged.constData(), &stagedSt) != 0) {
        reportError(staged, EngineTexts::ActionMove, errno, QString(), false);
        m_failed = true;
        return Flow::Stop;
    }
    const bool wasPlacing = m_placing;
    m_placing = true;
    const Flow placed = moveItem(staged, dst, stagedSt);
    m_placing = wasPlacing;
    if (placed != Flow::Continue)
        return placed; // every source stays; what was not placed goes with the staging folder
    syncDir(stagingParent);
    if (dstIsDir)
        syncDir(parentOf(dst));
    syncTrashInfo(); // what was replaced is safe in the trash before any source goes

    for (const auto &item : std::as_const(journal.copiedItems)) {
        if (unlink(item.first.constData()) != 0) {
            const ErrorAnswer answer = reportError(item.first, EngineTexts::ActionRemoveSource, errno, QString(),
                                                   false);
            if (answer == ErrorAnswer::Cancel)
                return Flow::Stop;
        }
    }
    const bool skippedSome = m_skipped != skippedBefore;
    for (auto it = journal.sourceDirs.crbegin(); it != journal.sourceDirs.crend(); ++it) {
        // A folder that still holds skipped items stays, with them.
        if (rmdir(it->constData()) != 0 && !(skippedSome && (errno == ENOTEMPTY || errno == EEXIST))) {
            const ErrorAnswer answer = reportError(*it, EngineTexts::ActionRemoveSourceFolder, errno, QString(), false);
            if (answer == ErrorAnswer::Cancel)
                return Flow::Stop;
        }
    }
    return skippedSome ? Flow::Skip : Flow::Continue;
}

} // namespace

FileOpEngine::FileOpEngine(EngineQuestions &questions, const std::atomic_bool &cancelFlag)
    : m_questions(questions)
    , m_cancelFlag(cancelFlag)
{ }

void FileOpEngine::setProgressHandler(std::function<void(const FileOpProgress &)> handler)
{
    m_progressHandler = std::move(handler);
}

void FileOpEngine::setTestHook(TestHook hook)
{
    m_testHook = std::move(hook);
}

void FileOpEngine::setChunkDelayForTesting(qint64 chunkBytes, int delayUs)
{
    m_testChunkBytes = chunkBytes;
    m_testDelayUs = delayUs;
}

FileOpResult FileOpEngine::run(const FileOpParams &params)
{
    Job job(m_questions, m_cancelFlag, m_progressHandler, m_testChunkBytes, m_testDelayUs, m_testHook);
    return job.run(params);
}
