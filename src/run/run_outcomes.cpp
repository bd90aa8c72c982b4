// The account of a run: what each task came to, summed up and written out.
#include "run/run_outcomes.h"

#include "run/run_texts.h"

bool TaskOutcome::succeeded() const
{
    return result.status == FileOpResult::Status::Done || result.status == FileOpResult::Status::Skipped;
}

void RunOutcomes::begin()
{
    m_outcomes.clear();
    m_elapsedMs = 0;
    m_clock.start();
}

void RunOutcomes::record(const TaskOutcome &outcome)
{
    m_outcomes.append(outcome);
}

void RunOutcomes::finish()
{
    m_elapsedMs = m_clock.isValid() ? m_clock.elapsed() : 0;
    emit accountClosed();
}

int RunOutcomes::succeededCount() const
{
    return int(
        std::count_if(m_outcomes.cbegin(), m_outcomes.cend(), [](const TaskOutcome &o) { return o.succeeded(); }));
}

int RunOutcomes::failedCount() const
{
    return int(m_outcomes.size()) - succeededCount();
}

int RunOutcomes::noteCount() const
{
    int notes = 0;
    for (const TaskOutcome &o : m_outcomes)
        notes += qMax(o.result.noteCount, int(o.result.notes.size()));
    return notes;
}

bool RunOutcomes::needsShowing() const
{
    for (const TaskOutcome &o : m_outcomes) {
        if (o.result.status != FileOpResult::Status::Done || !o.result.notes.isEmpty() || !o.result.items.isEmpty())
            return true;
    }
    return false;
}

QString RunOutcomes::summaryLine() const
{
    const int all = int(m_outcomes.size());
    const int failed = failedCount();
    if (failed > 0)
        return RunTexts::SomeNotDone.arg(all).arg(all - failed).arg(failed);
    if (noteCount() > 0)
        return RunTexts::DoneWithNotes.arg(all).arg(noteCount());
    return RunTexts::AllDone.arg(all);
}

QString RunOutcomes::outcomeWord(FileOpResult::Status status)
{
    switch (status) {
    case FileOpResult::Status::Done: return RunTexts::OutcomeDone;
    case FileOpResult::Status::Skipped: return RunTexts::OutcomeSkipped;
    case FileOpResult::Status::Failed: return RunTexts::OutcomeFailed;
    case FileOpResult::Status::Cancelled: return RunTexts::OutcomeCancelled;
    }
    return RunTexts::OutcomeFailed;
}

QString RunOutcomes::text() const
{
    QStringList lines {summaryLine()};
    for (const TaskOutcome &o : m_outcomes) {
        const FileOpResult &r = o.result;
        const QString word = outcomeWord(r.status);
        lines << (o.destination.isEmpty() ? RunTexts::TaskLineNoDestination.arg(word, o.mode, o.source)
                                          : RunTexts::TaskLine.arg(word, o.mode, o.source, o.destination));
        if (!r.message.isEmpty())
            lines << RunTexts::ReasonLine.arg(r.message);
        for (const FileOpItem &item : r.items)
            lines << RunTexts::ItemLine.arg(item.path, item.reason);
        if (r.itemCount > r.items.size())
            lines << RunTexts::MoreItems.arg(r.itemCount - r.items.size());
        for (const QString &note : r.notes)
            lines << RunTexts::NoteLine.arg(note);
        if (r.noteCount > r.notes.size())
            lines << RunTexts::MoreNotes.arg(r.noteCount - r.notes.size());
    }
    return lines.join(u'\n');
}
