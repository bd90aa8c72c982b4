#include "platform/engine/file_op_engine.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/fs_util.h"
#include "platform/engine/trash.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
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
#include <unistd.h>

using namespace FsUtil;

namespace {

constexpr qint64 CopyChunkBytes = 16 * 1024 * 1024; // cancel and progress granularity
constexpr qint64 ReadWriteBufferBytes = 1024 * 1024;
constexpr qint64 ProgressIntervalMs = 100;
// The free space of a folder is measured again after this long, or sooner
// when our own writes since may have used it up.
constexpr qint64 SpaceRecheckMs = 100;

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

// What a step tells its caller: go on, this item was skipped (go on with
// the rest), or stop everything (cancelled or failed).
enum class Flow { Continue, Skip, Stop, Exists /* the target is there: ask, then replace */ };

// What a cross-volume move created, so that it can be undone, and what it
// copied, so that the sources can be checked and removed afterwards.
struct Journal
{
    QList<QByteArray> createdFiles;
    QList<QByteArray> createdDirs;
    QList<QPair<QByteArray, QByteArray>> copiedItems; // source, target (files, links)
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
        const std::function<void(const FileOpProgress &)> &progressHandler, qint64 testChunkBytes, int testDelayUs)
        : m_questions(questions)
        , m_cancelFlag(cancelFlag)
        , m_progressHandler(progressHandler)
        , m_testChunkBytes(testChunkBytes)
        , m_testDelayUs(testDelayUs)
    {
        m_clock.start();
    }

    FileOpResult run(const FileOpParams &params);

private:
    FileOpResult runTrash(const QByteArray &source, bool ask);
    FileOpResult runCopyOrMove(const FileOpParams &params, const QByteArray &source);
    FileOpResult finish();

    Flow copyItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    Flow copyDir(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal);
    Flow copyLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, bool replace,
                  Journal *journal);
    int copyFileOnce(const QByteArray &src, const QByteArray &dst, bool replace);
    int copyContents(int srcFd, int dstFd, qint64 size, qint64 *copied);
    int copyLinkOnce(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, bool replace);
    Flow checkSpace(const QByteArray &dst, qint64 needed);

    Flow moveItem(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt);
    Flow moveAcrossVolumes(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt);
    bool findMergeProblem(const QByteArray &src, const QByteArray &dst, MergeProblem *problem);
    Flow checkMerge(const QByteArray &src, const QByteArray &dst);
    Flow setAsideReplaced(const QByteArray &dst);
    void syncTrashInfo();

    Flow resolveConflict(const QByteArray &src, const struct stat &srcSt, const QByteArray &dst,
                         const struct stat &dstSt);
    ErrorAnswer reportError(const QByteArray &path, const QString &action, int errorCode,
                            const QString &reason = QString(), bool canRetry = true);
    FileOpResult refuse(const QByteArray &path, const QString &action, const QString &reason);
    bool listDir(const QByteArray &dir, QList<QByteArray> *names, int *errorCode);
    void scan(const QByteArray &path, const struct stat &st);
    QByteArray temporaryNameIn(const QByteArray &dir);

    bool cancelled() const { return m_cancelled || m_cancelFlag.load(std::memory_order_relaxed); }
    void progress(const QByteArray &current, bool force = false);
    void afterChunk();

    EngineQuestions &m_questions;
    const std::atomic_bool &m_cancelFlag;
    const std::function<void(const FileOpProgress &)> &m_progressHandler;
    const qint64 m_testChunkBytes;
    const int m_testDelayUs;

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
    if (m_testDelayUs > 0)
        usleep(useconds_t(m_testDelayUs));
}

QByteArray Job::temporaryNameIn(const QByteArray &dir)
{
    // Short, hidden and unique: the real name may already be near NAME_MAX.
    return joinPath(dir, m_tempPrefix + QByteArray::number(++m_tempCounter) + ".part");
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
    const QString action = m_moving ? QStringLiteral("移动") : QStringLiteral("复制");

    struct stat srcSt;
    if (lstat(source.constData(), &srcSt) != 0) {
        const int err = errno;
        QString reason = errorText(err);
        if (err == ENOENT && params.source.contains(QChar(0xFFFD)))
            reason += QStringLiteral("（路径中含有无法识别的字符）");
        return refuse(source, action, reason);
    }
    const QByteArray name = baseNameOf(source);
    if (source == "/" || name == "." || name == "..")
        return refuse(source, action, QStringLiteral("不能%1这个路径").arg(action));

    QByteArray destDir = encodePath(params.destinationDir);
    if (destDir.size() > 1)
        destDir = stripTrailingSlashes(destDir);
    if (!destDir.startsWith('/'))
        return refuse(destDir, action, QStringLiteral("目标文件夹必须是绝对路径"));

    // Refuse before anything is created: making the destination could
    // otherwise already change the source tree.
    const QByteArray canonicalSource = joinPath(canonicalPath(parentOf(source)), name);
    const QByteArray canonicalDest = canonicalPath(destDir);
    const QByteArray canonicalTarget = joinPath(canonicalDest, name);
    if (canonicalTarget == canonicalSource)
        return refuse(source, action, QStringLiteral("源和目标是同一个位置"));
    if (S_ISDIR(srcSt.st_mode)
        && (canonicalDest == canonicalSource || canonicalDest.startsWith(QByteArray(canonicalSource + '/'))))
        return refuse(source, action, QStringLiteral("不能把文件夹%1到它自己的子文件夹中").arg(action));

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
            return refuse(destDir, QStringLiteral("打开目标文件夹"), errorText(err));
        }
        if (params.askBeforeCreatingDestination && !m_questions.confirmCreateFolder(displayPath(destDir))) {
            m_cancelled = true;
            return finish();
        }
        for (;;) {
            const int err = makePath(destDir, 0777);
            if (err == 0)
                break;
            const ErrorAnswer answer = reportError(destDir, QStringLiteral("创建文件夹"), err);
            if (answer != ErrorAnswer::Retry)
                return finish();
        }
    } else if (!S_ISDIR(destSt.st_mode)) {
        return refuse(destDir, action, QStringLiteral("目标不是文件夹"));
    }

    const QByteArray target = joinPath(destDir, name);
    struct stat targetSt;
    if (lstat(target.constData(), &targetSt) == 0 && targetSt.st_dev == srcSt.st_dev && targetSt.st_ino == srcSt.st_ino)
        return refuse(source, action, QStringLiteral("源和目标是同一个文件"));

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
    const QString action = m_moving ? QStringLiteral("移动") : QStringLiteral("复制");
    const bool leaf = S_ISREG(srcSt.st_mode) || S_ISLNK(srcSt.st_mode);
    if (leaf) {
        // Most targets do not exist yet: create right away and look only on EEXIST.
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
            const ErrorAnswer answer = reportError(dst, action, errno);
            if (answer == ErrorAnswer::Retry)
                continue;
            return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
        }
        if (exists && dstSt.st_dev == srcSt.st_dev && dstSt.st_ino == srcSt.st_ino) {
            const ErrorAnswer answer = reportError(src, action, 0, QStringLiteral("源和目标是同一个文件"), false);
            return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
        }
        if (S_ISDIR(srcSt.st_mode)) {
            if (exists && !S_ISDIR(dstSt.st_mode)) {
                const ErrorAnswer answer = reportError(dst, action, EEXIST,
                                                       QStringLiteral("目标位置已有同名的文件，不能用文件夹替换它"));
                if (answer == ErrorAnswer::Retry)
                    continue;
                return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
            }
            return copyDir(src, dst, srcSt, journal);
        }
        if (!S_ISREG(srcSt.st_mode) && !S_ISLNK(srcSt.st_mode)) {
            const ErrorAnswer answer = reportError(src, action, 0,
                                                   QStringLiteral("不支持这种文件类型（设备、管道或套接字）"), false);
            return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
        }
        if (exists && S_ISDIR(dstSt.st_mode)) {
            const ErrorAnswer answer = reportError(dst, action, EISDIR,
                                                   QStringLiteral("目标位置已有同名的文件夹，不能用文件替换它"));
            if (answer == ErrorAnswer::Retry)
                continue;
            return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
        }
        if (exists) {
            const Flow flow = resolveConflict(src, srcSt, dst, dstSt);
            if (flow != Flow::Continue) {
                if (flow == Flow::Skip)
                    m_progress.filesDone++;
                return flow;
            }
        }
        return copyLeaf(src, dst, srcSt, exists, journal);
    }
}

Flow Job::copyDir(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal)
{
    const QString action = m_moving ? QStringLiteral("移动") : QStringLiteral("复制");
    QList<QByteArray> names;
    for (;;) {
        names.clear();
        int err = 0;
        if (listDir(src, &names, &err))
            break;
        const ErrorAnswer answer = reportError(src, QStringLiteral("读取文件夹"), err);
        if (answer == ErrorAnswer::Retry)
            continue;
        return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
    }

    bool created = false;
    for (;;) {
        // Owner-only while it fills; the real mode is set once it is complete.
        if (mkdir(dst.constData(), 0700) == 0) {
            created = true;
            break;
        }
        if (errno == EEXIST) {
            struct stat dstSt;
            if (stat(dst.constData(), &dstSt) == 0 && S_ISDIR(dstSt.st_mode))
                break;
        }
        const ErrorAnswer answer = reportError(dst, QStringLiteral("创建文件夹"), errno);
        if (answer == ErrorAnswer::Retry)
            continue;
        return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
    }
    if (journal) {
        if (created)
            journal->createdDirs.append(dst);
        journal->sourceDirs.append(src);
        journal->targetDirs.append(dst);
    }

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
            const ErrorAnswer answer = reportError(child, action, errno);
            if (answer == ErrorAnswer::Retry)
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

    // Also after a stop: what was copied keeps the folder's real mode and time.
    if (created) {
        chmod(dst.constData(), srcSt.st_mode & 07777);
        const struct timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
        utimensat(AT_FDCWD, dst.constData(), times, 0);
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
        if (statvfs(dir.constData(), &vfs) != 0)
            return Flow::Continue;
        const qint64 available = qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
        if (available >= needed) {
            m_spaceDir = dir;
            m_spaceFree = available - blocks;
            m_spaceCheckedMs = m_clock.elapsed();
            return Flow::Continue;
        }
        m_spaceDir.clear();
        const ErrorAnswer answer = reportError(
            dst, m_moving ? QStringLiteral("移动") : QStringLiteral("复制"), ENOSPC,
            QStringLiteral("目标磁盘空间不足：需要 %1，只有 %2 可用").arg(formatSize(needed), formatSize(available)));
        if (answer == ErrorAnswer::Retry)
            continue;
        return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
    }
}

Flow Job::copyLeaf(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, bool replace,
                   Journal *journal)
{
    if (S_ISREG(srcSt.st_mode)) {
        const Flow space = checkSpace(dst, srcSt.st_size);
        if (space != Flow::Continue) {
            if (space == Flow::Skip)
                m_progress.filesDone++;
            return space;
        }
    }
    const qint64 bytesBefore = m_progress.bytesDone;
    m_currentPath = src;
    for (;;) {
        const int err = S_ISREG(srcSt.st_mode) ? copyFileOnce(src, dst, replace)
                                               : copyLinkOnce(src, dst, srcSt, replace);
        if (err == 0)
            break;
        m_progress.bytesDone = bytesBefore;
        if (err == EEXIST && !replace)
            return Flow::Exists;
        if (err == ECANCELED || cancelled()) {
            m_cancelled = true;
            return Flow::Stop;
        }
        const ErrorAnswer answer = reportError(src, m_moving ? QStringLiteral("移动") : QStringLiteral("复制"), err);
        if (answer == ErrorAnswer::Retry)
            continue;
        if (answer == ErrorAnswer::Skip)
            m_progress.filesDone++;
        return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
    }
    m_progress.filesDone++;
    if (journal) {
        if (!replace)
            journal->createdFiles.append(dst);
        journal->copiedItems.append({src, dst});
    }
    progress(src);
    return Flow::Continue;
}

int Job::copyFileOnce(const QByteArray &src, const QByteArray &dst, bool replace)
{
    const int srcFd = open(src.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (srcFd < 0)
        return errno;
    auto closeSource = qScopeGuard([&] { close(srcFd); });
    struct stat st;
    if (fstat(srcFd, &st) != 0)
        return errno;

    // A new file is written in place (O_EXCL: it is ours); a file that is
    // replaced is written under a temporary name and renamed over it at the
    // end, so the old content stays until the new one is complete.
    const QByteArray temporary = replace ? temporaryNameIn(parentOf(dst)) : dst;
    const mode_t createMode = replace ? 0600 : (st.st_mode & 0777);
    int dstFd = open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
    if (dstFd < 0)
        return errno;
    // Every early return leaves neither the descriptor nor the half-written file.
    auto dropTemporary = qScopeGuard([&] {
        if (dstFd >= 0)
            close(dstFd);
        unlink(temporary.constData());
    });

    qint64 copied = 0;
    if (const int err = copyContents(srcFd, dstFd, st.st_size, &copied))
        return err;
    if (copied != st.st_size)
        return EIO; // the source changed size while it was copied

    if ((st.st_mode & 07777) != (createMode & ~m_umask) && fchmod(dstFd, st.st_mode & 07777) != 0)
        return errno;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(dstFd, times) != 0)
        return errno;
    if (m_syncWrites && fsync(dstFd) != 0)
        return errno;
    const int fd = dstFd;
    dstFd = -1;
    if (close(fd) != 0)
        return errno;

    if (replace && rename(temporary.constData(), dst.constData()) != 0)
        return errno;
    dropTemporary.dismiss();
    return 0;
}

int Job::copyContents(int srcFd, int dstFd, qint64 size, qint64 *copied)
{
    const bool slowedDown = m_testDelayUs > 0;
    // A clone shares the blocks (btrfs, XFS): instant, and no space used.
    if (m_cloneWorks && !slowedDown && size > 0) {
        if (ioctl(dstFd, FICLONE, srcFd) == 0) {
            *copied = size;
            m_progress.bytesDone += size;
            return 0;
        }
        if (errno == EOPNOTSUPP || errno == ENOTTY || errno == EINVAL || errno == EXDEV || errno == EPERM)
            m_cloneWorks = errno == EXDEV; // another pair of volumes may still clone
        else
            return errno;
    }
    const qint64 chunk = m_testChunkBytes > 0 ? m_testChunkBytes : CopyChunkBytes;
    while (m_copyRangeWorks && *copied < size) {
        const ssize_t n = copy_file_range(srcFd, nullptr, dstFd, nullptr, size_t(std::min(chunk, size - *copied)), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (*copied == 0
                && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)) {
                if (errno != EXDEV)
                    m_copyRangeWorks = false;
                break;
            }
            return errno;
        }
        if (n == 0) {
            if (*copied == 0)
                break; // some file systems report a size but copy nothing: read instead
            return 0; // the source became shorter; the caller notices
        }
        *copied += n;
        m_progress.bytesDone += n;
        afterChunk();
        if (cancelled())
            return ECANCELED;
        progress(QByteArray());
    }
    if (*copied >= size && size > 0)
        return 0;

    if (m_buffer.isEmpty())
        m_buffer.resize(ReadWriteBufferBytes);
    const qint64 bufferBytes = m_testChunkBytes > 0 ? std::min(m_testChunkBytes, ReadWriteBufferBytes)
                                                    : ReadWriteBufferBytes;
    for (;;) {
        const ssize_t n = read(srcFd, m_buffer.data(), size_t(bufferBytes));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        ssize_t written = 0;
        while (written < n) {
            const ssize_t w = write(dstFd, m_buffer.constData() + written, size_t(n - written));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
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
}

int Job::copyLinkOnce(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, bool replace)
{
    QByteArray linkTarget(qsizetype(srcSt.st_size > 0 ? srcSt.st_size : 255) + 1, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = readlink(src.constData(), linkTarget.data(), size_t(linkTarget.size()));
        if (n < 0)
            return errno;
        if (n < linkTarget.size()) {
            linkTarget.truncate(n);
            break;
        }
        linkTarget.resize(linkTarget.size() * 2);
    }
    const QByteArray temporary = replace ? temporaryNameIn(parentOf(dst)) : dst;
    if (symlink(linkTarget.constData(), temporary.constData()) != 0)
        return errno;
    auto dropTemporary = qScopeGuard([&] { unlink(temporary.constData()); });
    const struct timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
    utimensat(AT_FDCWD, temporary.constData(), times, AT_SYMLINK_NOFOLLOW);
    if (replace && rename(temporary.constData(), dst.constData()) != 0)
        return errno;
    dropTemporary.dismiss();
    return 0;
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
            const ErrorAnswer answer = reportError(src, action, renameError);
            if (answer == ErrorAnswer::Retry)
                continue;
            return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
        }
        if (dstSt.st_dev == srcSt.st_dev && dstSt.st_ino == srcSt.st_ino) {
            const ErrorAnswer answer = reportError(src, action, 0, EngineTexts::SameFile, false);
            return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
        }
        const bool srcIsDir = S_ISDIR(srcSt.st_mode);
        const bool dstIsDir = S_ISDIR(dstSt.st_mode);
        if (srcIsDir != dstIsDir) {
            const ErrorAnswer answer = reportError(dst, action, srcIsDir ? EEXIST : EISDIR,
                                                   srcIsDir ? EngineTexts::FileWhereFolderGoes
                                                            : EngineTexts::FolderWhereFileGoes);
            if (answer == ErrorAnswer::Retry)
                continue;
            return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
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
                const ErrorAnswer answer = reportError(src, EngineTexts::ActionReadFolder, err);
                if (answer == ErrorAnswer::Retry)
                    continue;
                return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
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
                const ErrorAnswer answer = reportError(src, EngineTexts::ActionRemoveSourceFolder, errno, QString(),
                                                       false);
                return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
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
        const ErrorAnswer answer = reportError(dst, EngineTexts::ActionReplace, trashed.errorCode,
                                               EngineTexts::ReplacedNotTrashed.arg(trashed.reason));
        if (answer == ErrorAnswer::Retry)
            continue;
        return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
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
        const ErrorAnswer answer = reportError(problem.path, EngineTexts::ActionMove, problem.errorCode,
                                               EngineTexts::MergeRefused.arg(problem.reason));
        if (answer == ErrorAnswer::Retry)
            continue;
        return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
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
        staging = temporaryNameIn(stagingParent);
        if (mkdir(staging.constData(), 0700) == 0)
            break;
        const int err = errno;
        if (err == EEXIST)
            continue;
        const ErrorAnswer answer = reportError(stagingParent, EngineTexts::ActionCreateFolder, err);
        if (answer == ErrorAnswer::Retry)
            continue;
        return answer == ErrorAnswer::Skip ? Flow::Skip : Flow::Stop;
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

void FileOpEngine::setChunkDelayForTesting(qint64 chunkBytes, int delayUs)
{
    m_testChunkBytes = chunkBytes;
    m_testDelayUs = delayUs;
}

FileOpResult FileOpEngine::run(const FileOpParams &params)
{
    Job job(m_questions, m_cancelFlag, m_progressHandler, m_testChunkBytes, m_testDelayUs);
    return job.run(params);
}
