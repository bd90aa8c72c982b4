// Phase 4 of a job (see file_op_job.h): the record a cross-volume move
// keeps of what it copied (file_op_move_record.h), made beside its staging
// folder and filled in walk order while the tree is copied. A block of it
// that cannot be written is an error like any other: the user may retry,
// give up this item (it stays where it is) or cancel.
#include "platform/engine/file_op_job.h"
#include "platform/engine/file_system.h"

#include "platform/engine/engine_texts.h"

#include <cerrno>

using namespace FsUtil;

namespace EngineJob {

Flow Job::makeRecord(const QByteArray &folder, Journal *journal)
{
    journal->folder = folder;
    const Flow made = untilDone([&](StepFailure &fail) {
        const int fd = fsys().open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int err = fd < 0 ? errno : journal->record.create(fd, m_shared.temporaryLeaf());
        if (fd >= 0)
            fsys().close(fd);
        if (err == 0)
            return Flow::Continue;
        return fail(folder, actionText(), err, EngineTexts::RecordNotWritten.arg(errorText(err)));
    });
    if (made == Flow::Skip)
        journal->record.abandon();
    return made;
}

void Job::record(Journal *journal, const RecordStep &step)
{
    // A step of the walk comes after the files handed out before it: while
    // some are out, it waits for its turn among them (taking them back is
    // the one place that adds a step at once, in its turn). Those waiting
    // steps are bounded like the files handed out.
    if (m_settling || !m_workers || m_workers->outstanding() == 0) {
        journal->record.add(step);
        return;
    }
    if (m_workers->outstanding() >= OutstandingPerWorker * workerCount()) {
        settleHandedOut();
        if (m_workers->outstanding() == 0) {
            journal->record.add(step);
            return;
        }
    }
    auto marker = std::make_unique<FileTask>();
    marker->whenTakenBack = [journal, step] { journal->record.add(step); };
    m_workers->submitFinished(std::move(marker));
}

Flow Job::keepRecord(Journal *journal, bool all)
{
    // A block that could not be written already is asked about before it is tried again.
    bool asked = journal->record.pendingError() == 0;
    const Flow kept = untilDone([&](StepFailure &fail) {
        const int err = asked ? journal->record.writeOut(all) : journal->record.pendingError();
        asked = true;
        if (err == 0)
            return Flow::Continue;
        return fail(journal->folder, actionText(), err, EngineTexts::RecordNotWritten.arg(errorText(err)));
    });
    // Without the rest of its record no source of this item can go: it is
    // left where it is, and its copy goes with the staging folder.
    if (kept == Flow::Skip)
        journal->record.abandon();
    return kept;
}

Flow Job::recordKept(Journal *journal)
{
    if (!journal)
        return Flow::Continue;
    if (journal->record.abandoned())
        return Flow::Stop; // the rest of this item's walk is not done
    return journal->record.pendingError() != 0 ? keepRecord(journal, false) : Flow::Continue;
}

} // namespace EngineJob
