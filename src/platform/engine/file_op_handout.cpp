// Phase 2 of a job (see file_op_job.h): the copy workers. Files are handed
// out in walk order and taken back in the same order; a file a worker could
// not copy is done again on the job's thread, with questions.
#include "platform/engine/file_op_job.h"

#include <QScopeGuard>
#include <QThread>

#include <algorithm>
#include <cerrno>

using namespace FsUtil;

namespace EngineJob {

int Job::workerCount() const
{
    if (m_workerCount < 0)
        m_workerCount = m_testing.workers >= 0 ? m_testing.workers
            : m_shared.verify                  ? VerifyingWorkers
                                               : std::clamp(QThread::idealThreadCount(), MinWorkers, MaxWorkers);
    return m_workerCount;
}

bool Job::canHandOut(const struct stat &srcSt) const
{
    // A file with more links is copied once on a move, then linked: the
    // job's own thread keeps track of those.
    return S_ISREG(srcSt.st_mode) && !(m_moving && srcSt.st_nlink > 1) && workerCount() > 0;
}

Flow Job::handOut(const QByteArray &src, const QByteArray &dst, const struct stat &srcSt, Journal *journal,
                  bool statFromCount)
{
    if (cancelled()) {
        setCancelled();
        return Flow::Stop;
    }
    if (recordKept(journal) != Flow::Continue)
        return Flow::Stop;
    m_spaceCounted = {};
    if (const Flow space = checkSpaceFor(dst, srcSt); space != Flow::Continue)
        return space;
    const SpaceCounted counted = m_spaceCounted;
    if (!m_workers)
        m_workers = m_shared.verify ? std::make_unique<CopyWorkers>(workerCount(), m_shared, &Job::copyBatchOnWorker,
                                                                    VerifyBatchFiles, VerifyBatchBytes)
                                    : std::make_unique<CopyWorkers>(workerCount(), m_shared, &Job::copyBatchOnWorker,
                                                                    SmallBatchFiles, SmallBatchBytes);
    // Bounded: on a tree of millions of files the walk waits for the
    // workers, until half of what is out is back (not one at a time, so
    // that the walk and the workers do not wake each other for each file).
    // Big files are bounded by their bytes too (the free space counted for
    // them, how far the walk runs ahead), beyond a few per worker whatever
    // their size, so that every worker has one to copy.
    const int most = OutstandingPerWorker * workerCount();
    const qint64 mostBytes = OutstandingBytesPerWorker * workerCount();
    const qint64 size = qint64(srcSt.st_size);
    const auto tooManyBytes = [&] {
        return m_workers->outstandingBytes() + size > mostBytes
            && m_workers->outstanding() >= BigFilesPerWorker * workerCount();
    };
    const auto tooMany = [&](int share) {
        return m_workers->outstanding() >= most / share || m_workers->outstandingPathBytes() >= OutstandingPathBytes / share;
    };
    // What the workers have finished is taken back as the walk goes on,
    // so that a failure is asked about soon after it happened, not once
    // the walk is a thousand files further.
    while (m_workers->outstanding() > 0 && m_workers->oldestFinished()) {
        if (settle(*takeBack()) == Flow::Stop)
            return Flow::Stop;
    }
    if (tooMany(1) || tooManyBytes()) {
        const bool byCount = tooMany(1);
        while (m_workers->outstanding() > 0
               && ((byCount && tooMany(2)) || tooManyBytes() || m_workers->oldestFinished())) {
            if (settle(*takeBack()) == Flow::Stop)
                return Flow::Stop;
        }
    }
    auto task = std::make_unique<FileTask>();
    task->src = src;
    task->dst = dst;
    task->srcSt = srcSt;
    task->statFromCount = statFromCount;
    task->from = sourceRef(src);
    task->ref = targetRef(dst);
    task->sourceDirPath = m_sourceDirPath;
    task->dirPath = m_targetDirPath;
    task->journal = journal;
    task->spaceBytes = counted.bytes;
    task->spaceVolume = counted.volume;
    m_workers->submit(std::move(task));
    if (m_testing.workersInStep)
        return settleHandedOut();
    return Flow::Continue;
}

void Job::copyOnWorker(FileTask &task, Copier &copier)
{
    task.outcome = FileTask::Outcome::Dropped;
    if (copier.stopped())
        return;
    copier.clearFailure();
    if (task.srcSt.st_size > CheckBeforeCopyBytes) {
        // A big file is looked for first rather than copied to find its
        // name taken: the job's thread asks about it at its turn.
        struct stat existing;
        if (fsys().fstatat(task.ref.dirFd, task.ref.name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
            task.nameTaken = true;
            task.outcome = FileTask::Outcome::Redo;
            return;
        }
    }
    Staged staged;
    const int err = copier.stageFile(task.src, task.from, task.dst, task.ref, &staged, &task.state);
    finishOnWorker(task, copier, &staged, err);
}

void Job::copyBatchOnWorker(const std::vector<FileTask *> &batch, Copier &copier,
                            const std::function<void(FileTask &)> &working)
{
    if (batch.size() == 1 || !copier.verifying()) {
        for (FileTask *task : batch) {
            working(*task);
            copyOnWorker(*task, copier);
        }
        return;
    }
    // Verifying: every file of the batch is written and its write-back
    // started before any is waited for, so that the device stores them
    // together; then each is read back, compared and named, in order.
    struct InBatch
    {
        Staged staged;
        WrittenFile written;
        int err = ECANCELED;
    };
    std::vector<InBatch> files(batch.size());
    QByteArray copies; // for the test point, when a test listens
    for (size_t i = 0; i < batch.size(); ++i) {
        FileTask &task = *batch[i];
        InBatch &file = files[i];
        task.outcome = FileTask::Outcome::Dropped;
        if (copier.stopped())
            break;
        working(task);
        copier.clearFailure();
        file.err = copier.writeFile(task.src, task.from, task.dst, task.ref, &file.staged, &task.state, &file.written);
        if (file.err == 0) {
            Copier::startStoring(file.staged.fd);
            if (copier.hooked())
                copies += (copies.isEmpty() ? "" : "\n") + Copier::descriptorPath(file.staged.fd);
        }
    }
    if (!copies.isEmpty())
        copier.testPoint("batch-written", copies);
    for (InBatch &file : files) {
        if (file.err == 0 && !copier.stopped())
            file.err = Copier::prepareReadBack(file.staged, &file.written);
    }
    for (size_t i = 0; i < batch.size(); ++i) {
        FileTask &task = *batch[i];
        InBatch &file = files[i];
        working(task);
        if (file.err == 0)
            file.err = copier.stopped() ? ECANCELED : copier.finishFile(&file.staged, &file.written);
        Copier::closeWritten(&file.written);
        finishOnWorker(task, copier, &file.staged, file.err);
    }
}

void Job::finishOnWorker(FileTask &task, Copier &copier, Staged *staged, int err)
{
    if (err == 0) {
        copier.testPoint("file-written", task.dst);
        err = copier.publishStaged(task.ref, staged);
        task.nameTaken = err == EEXIST;
    }
    copier.discardStaged(task.ref, staged, err == 0);
    task.notes = copier.takeNotes();
    if (err == 0)
        task.outcome = FileTask::Outcome::Done;
    else if (err != ECANCELED && !copier.stopped())
        task.outcome = FileTask::Outcome::Redo;
}

Flow Job::settleHandedOut()
{
    // Taking back one file may ask a question; the files after it wait.
    if (!m_workers || m_settling)
        return Flow::Continue;
    Flow flow = Flow::Continue;
    while (m_workers->outstanding() > 0) {
        if (settle(*takeBack()) == Flow::Stop)
            flow = Flow::Stop;
    }
    return flow;
}

std::unique_ptr<FileTask> Job::takeBack()
{
    // The bytes the workers copy meanwhile are shown as they go, with the
    // file waited for (a big one takes a while).
    const FileTask *oldest = m_workers->oldest();
    const QByteArray waitedFor = oldest && !oldest->whenTakenBack ? oldest->src : QByteArray();
    return m_workers->takeOldest([this, &waitedFor] { progress(waitedFor); }, int(ProgressIntervalMs));
}

Flow Job::settle(FileTask &task)
{
    const bool wasSettling = m_settling;
    m_settling = true;
    auto endSettling = qScopeGuard([&] { m_settling = wasSettling; });
    if (task.whenTakenBack) {
        task.whenTakenBack(); // a folder whose files are all back: also after a stop
        return m_cancelled || m_failed ? Flow::Stop : Flow::Continue;
    }
    takeNotes(std::move(task.notes));
    m_shared.workerBytes -= task.reportedBytes.load();
    if (m_cancelled || m_failed)
        return Flow::Stop; // the job is over: what is still handed out is only taken back
    switch (task.outcome) {
    case FileTask::Outcome::Done:
        m_progress.filesDone++;
        m_progress.bytesDone += task.state.size;
        if (task.journal)
            record(task.journal, {RecordStep::Kind::Item, baseNameOf(task.src), 0, 0, task.state});
        progress(task.src);
        return Flow::Continue;
    case FileTask::Outcome::Dropped: setCancelled(); return Flow::Stop;
    case FileTask::Outcome::Redo: break;
    }
    // Done again here, in walk order, with the questions and answers of a
    // file the job's own thread copies: a failure is reported as always.
    const QByteArray outerPath = m_targetDirPath;
    const int outerFd = m_targetDirFd;
    const QByteArray outerSourcePath = m_sourceDirPath;
    const int outerSourceFd = m_sourceDirFd;
    m_targetDirPath = task.dirPath;
    m_targetDirFd = task.ref.dirFd == AT_FDCWD ? -1 : task.ref.dirFd;
    m_sourceDirPath = task.sourceDirPath;
    m_sourceDirFd = task.from.dirFd == AT_FDCWD ? -1 : task.from.dirFd;
    // What the count saw may be older than the failure: a file gone since
    // is not copied, one still there is copied as it is now. One that is
    // no longer a regular file is still copied as one, which is refused and
    // asked about, as when it changes under a worker (and no folder is
    // entered while files are taken back).
    Flow flow = Flow::Continue;
    struct stat now;
    if (task.statFromCount && !statEntry(task.from.dirFd, task.src, task.from.name, &now)) {
        flow = m_cancelled || m_failed ? Flow::Stop : Flow::Continue;
    } else {
        if (task.statFromCount && S_ISREG(now.st_mode))
            task.srcSt = now;
        flow = task.nameTaken ? resolveAndCopy(task.src, task.dst, task.srcSt, task.journal)
                              : copyItem(task.src, task.dst, task.srcSt, task.journal);
    }
    m_targetDirPath = outerPath;
    m_targetDirFd = outerFd;
    m_sourceDirPath = outerSourcePath;
    m_sourceDirFd = outerSourceFd;
    return flow;
}

} // namespace EngineJob
