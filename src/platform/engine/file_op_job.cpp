// Phase 1 of a job (see file_op_job.h): the job, the trash, and what every
// phase shares (questions, errors, progress, notes).
#include "platform/engine/file_op_job.h"
#include "platform/engine/file_system.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/trash.h"

#include <QDateTime>

#include <cerrno>
#include <dirent.h>

using namespace FsUtil;

namespace EngineJob {

namespace {

QDateTime modifiedTime(const struct stat &st)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
}

} // namespace

Job::~Job()
{
    // Every file handed out was taken back, also after a stop.
    m_workers.reset();
    m_count.reset();
    releaseReservedTrash();
}

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
    // The operation is over: a count still going on has nothing left to size.
    if (m_count)
        m_count->stop();
    m_countOver = true;
    progress(QByteArray(), true);
    FileOpResult result = m_account;
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
    question.path = userPath(path);
    question.action = action;
    question.errorCode = errorCode;
    question.reason = reason.isEmpty() ? errorText(errorCode) : reason;
    question.canRetry = canRetry;
    const QString text = EngineTexts::ActionFailed.arg(action, question.path, question.reason);
    // The files handed out before this step are dealt with first, so that
    // questions come in the order of the walk.
    settleHandedOut();
    if (m_cancelled || m_failed)
        return ErrorAnswer::Cancel;
    if (cancelled()) {
        setCancelled();
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
        m_account.addItem(question.path, action + QStringLiteral("：") + question.reason);
        return ErrorAnswer::Skip;
    case ErrorAnswer::Cancel:
        setFailed();
        m_message = text;
        m_account.addItem(question.path, action + QStringLiteral("：") + question.reason);
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

QString Job::userPath(const QByteArray &path) const
{
    // Inside the staging folder of a cross-volume move: where it is going.
    const QByteArray &staged = m_stagedAs.first;
    if (!staged.isEmpty() && path.startsWith(staged) && (path.size() == staged.size() || path.at(staged.size()) == '/'))
        return displayPath(m_stagedAs.second + path.mid(staged.size()));
    return displayPath(path);
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
    FileOpProgress shown = m_progress;
    if (m_count) {
        shown.filesTotal = m_count->files();
        shown.bytesTotal = m_count->bytes();
        shown.counting = !m_countOver && !m_count->finished();
    }
    shown.bytesDone += m_shared.workerBytes.load(std::memory_order_relaxed);
    shown.verifying = m_shared.verifiedSinceReport.exchange(false, std::memory_order_relaxed)
        || m_shared.verifying.load(std::memory_order_relaxed) > 0;
    shown.bytesVerified = m_shared.verifiedBytes.load(std::memory_order_relaxed);
    m_progressHandler(shown);
}

void Job::bytesCopied(qint64 bytes)
{
    m_progress.bytesDone += bytes;
    progress(QByteArray());
}

void Job::setCancelled()
{
    m_cancelled = true;
    m_shared.stop = true;
}

void Job::setFailed()
{
    m_failed = true;
    m_shared.stop = true;
}

bool Job::flushVolumes()
{
    if (m_flush.isEmpty())
        return true;
    m_progress.storing = true;
    progress(QByteArray(), true);
    VolumeFlush::Failure failure;
    const bool stored = m_flush.flush(&failure,
                                      [this](const QByteArray &folder) { testPoint("volume-flushed", folder); });
    m_progress.storing = false;
    if (stored)
        return true;
    // What was written did not all reach the device: not done, whatever
    // went through before.
    ErrorQuestion question;
    question.path = userPath(failure.path);
    question.action = EngineTexts::ActionStore;
    question.errorCode = failure.errorCode;
    question.reason = EngineTexts::NotStored.arg(errorText(failure.errorCode));
    question.canRetry = false;
    question.canSkip = false;
    if (!m_cancelled && !m_failed) {
        m_questions.askOnError(question);
        m_message = EngineTexts::ActionFailed.arg(question.action, question.path, question.reason);
    }
    setFailed();
    return false;
}

bool Job::listDir(const QByteArray &dir, QList<QByteArray> *names, int *errorCode)
{
    const int fd = fsys().open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *errorCode = errno;
        return false;
    }
    const bool listed = listDirAt(fd, names, errorCode);
    fsys().close(fd);
    return listed;
}

bool Job::listDirAt(int fd, QList<QByteArray> *names, int *errorCode)
{
    const int own = fsys().fcntl(fd, F_DUPFD_CLOEXEC, 0);
    DIR *handle = own >= 0 ? fsys().fdopendir(own) : nullptr;
    if (!handle) {
        *errorCode = errno;
        if (own >= 0)
            fsys().close(own);
        return false;
    }
    fsys().rewinddir(handle);
    errno = 0;
    while (const dirent *entry = fsys().readdir(handle)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        names->append(QByteArray(name));
    }
    *errorCode = errno;
    fsys().closedir(handle);
    return *errorCode == 0;
}

// ---- trash ---------------------------------------------------------------

FileOpResult Job::runTrash(const QByteArray &source, bool ask)
{
    struct stat st;
    if (fsys().lstat(source.constData(), &st) != 0) {
        const int err = errno;
        return refuse(source, EngineTexts::ActionDelete, errorText(err));
    }
    if (ask && !m_questions.confirmTrash(displayPath(source))) {
        setCancelled();
        return finish();
    }
    m_progress.filesTotal = 1;
    progress(source, true);
    TrashResult trashed;
    for (;;) {
        trashed = Trash::moveToTrash(source);
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
    // The item's new name in the trash and its old folder's loss of it last.
    m_flush.noteRenamed(parentOf(trashed.trashedPath));
    m_flush.noteRenamed(parentOf(source));
    flushVolumes();
    return finish();
}

// ---- copy and move -------------------------------------------------------

Flow Job::resolveConflict(const QByteArray &src, const struct stat &srcSt, const QByteArray &dst,
                          const struct stat &dstSt)
{
    if (!m_askOverwrite || m_overwriteAll)
        return Flow::Continue;
    settleHandedOut(); // earlier files' questions first
    if (m_cancelled || m_failed)
        return Flow::Stop;
    if (cancelled()) {
        setCancelled();
        return Flow::Stop;
    }
    OverwriteQuestion question;
    question.source = {displayPath(src), S_ISREG(srcSt.st_mode) ? qint64(srcSt.st_size) : -1, modifiedTime(srcSt)};
    question.target = {displayPath(dst), S_ISREG(dstSt.st_mode) ? qint64(dstSt.st_size) : -1, modifiedTime(dstSt)};
    switch (m_questions.askOverwrite(question)) {
    case OverwriteAnswer::OverwriteAll: m_overwriteAll = true; return Flow::Continue;
    case OverwriteAnswer::Overwrite: return Flow::Continue;
    case OverwriteAnswer::Skip:
        ++m_skipped;
        m_account.addItem(question.target.path, EngineTexts::NotOverwritten);
        return Flow::Skip;
    case OverwriteAnswer::Cancel: setCancelled(); return Flow::Stop;
    }
    return Flow::Stop;
}

void Job::takeNotes(QList<QPair<Note, QByteArray>> notes)
{
    for (const auto &noted : std::as_const(notes))
        note(noted.first, noted.second);
}

void Job::note(Note kind, const QByteArray &path)
{
    const QString where = userPath(path);
    QString text;
    switch (kind) {
    case Note::Owner: text = EngineTexts::NoteOwner.arg(where); break;
    case Note::ExtendedAttributes: text = EngineTexts::NoteExtendedAttributes.arg(where); break;
    case Note::HardLinks: text = EngineTexts::NoteHardLinks.arg(where); break;
    }
    // Every path noted is kept (up to the account's bound), not only the first of a kind.
    m_account.addNote(text);
}

} // namespace EngineJob
