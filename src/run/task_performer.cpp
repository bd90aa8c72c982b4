// Performing one task and keeping its outcome.
#include "run/task_performer.h"

#include "model/mode_operation.h"
#include "model/texts.h"
#include "run/run_outcomes.h"
#include "run/run_texts.h"

TaskPerformer::TaskPerformer(FileOperation *engine, RunOutcomes &outcomes)
    : m_engine(engine)
    , m_outcomes(outcomes)
{ }

FileOpResult TaskPerformer::perform(FileOpRecord &record, const QString &source, const QString &destination,
                                    const QString &mode)
{
    TaskOutcome outcome;
    outcome.mode = mode;
    outcome.source = source;
    // A delete sends to the trash: the row's destination plays no part.
    outcome.destination = mode == Texts::ModeDelete ? QString() : destination;
    if (!setOperationForMode(record, mode, destination)) {
        outcome.result.status = FileOpResult::Status::Failed;
        outcome.result.message = RunTexts::UnknownMode.arg(mode);
    } else {
        record.pFrom = source;
        // A copy: the record must not change under a running operation.
        const FileOpRecord op = record;
        outcome.result = m_engine->perform(op);
    }
    m_outcomes.record(outcome);
    return outcome.result;
}
