#pragma once

#include "platform/file_operation.h"

#include <QString>
#include <optional>

class RunOutcomes;

// Performs one task (a source, a destination and a mode word) with the
// engine and keeps what became of it in the run's account. The queue runner
// and the add-task dialog's immediate start both perform through it.
class TaskPerformer
{
public:
    TaskPerformer(FileOperation *engine, RunOutcomes &outcomes);

    // Fills record (the shared one) from the mode's table entry and source,
    // hands a copy to the engine and records the outcome. A word that names
    // no operation performs nothing: the record stays as it was and the task
    // is recorded as failed. Returns the outcome.
    FileOpResult perform(FileOpRecord &record, const QString &source, const QString &destination, const QString &mode);

    RunOutcomes &outcomes() { return m_outcomes; }

private:
    FileOperation *m_engine;
    RunOutcomes &m_outcomes;
};
