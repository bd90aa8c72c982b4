// The queue run: its steps per task, the rows that join it, and its end.
#include "run/queue_runner.h"

#include "model/mode_operation.h"
#include "model/module1.h"
#include "model/move_queue.h"
#include "model/size_text.h"
#include "model/texts.h"
#include "platform/event_yield.h"
#include "platform/file_operation.h"
#include "platform/user_dialogs.h"
#include "run/run_outcomes.h"
#include "run/run_texts.h"
#include "run/task_performer.h"

#include <QScopeGuard>

QueueRunner::QueueRunner(MoveQueue &queue, Module1 &state, const Services &svc, TaskPerformer &performer,
                         QObject *parent)
    : QObject(parent)
    , m_queue(queue)
    , m_state(state)
    , m_svc(svc)
    , m_performer(performer)
{ }

void QueueRunner::run()
{
    if (m_running)
        return;
    // The engine does one operation at a time. While another one runs (an
    // immediate start, whose wait lets this handler in), every task would be
    // refused: the run does not start and the queue stays as it is.
    if (m_svc.engine->isRunning()) {
        emit runRefused();
        m_svc.dialogs->message(Texts::EngineBusyForRun, Texts::TitleKorvan);
        return;
    }
    m_running = true;
    auto running = qScopeGuard([this] { m_running = false; });
    EventYield &yield = *m_svc.yield;
    RunOutcomes &outcomes = m_performer.outcomes();
    outcomes.begin();

    m_state.pauseFlag = false;
    // The tasks of this run are the rows queued now and the rows queued while
    // it goes. Each is held by reference, so a row the user removes during
    // the run is simply not performed, and no other row is ever performed in
    // its place.
    m_tasks.clear();
    m_succeeded.clear();
    for (int i = 0; i < m_queue.count(); ++i)
        m_tasks.append(m_queue.refAt(i));
    emit runStarted(int(m_tasks.size()));
    // The tasks of this run after the current one that are still queued.
    const auto tasksLeft = [&] { return m_queue.countBetween(m_tasks.at(m_runIndex - 1), m_tasks.last()); };

    bool engineTaken = false;
    for (m_runIndex = 1; m_runIndex <= m_tasks.size(); ++m_runIndex) {
        emit taskReached(m_runIndex);
        if (m_state.pauseFlag || m_state.exitAllowed)
            break;
        takeInNewRows();
        emit taskStarted(m_runIndex, tasksLeft());
        // The face keeps the previous task's percentage while this one runs.
        yield.yield();

        const RowRef ref = m_tasks.at(m_runIndex - 1);
        const int pos = m_queue.positionOf(ref);
        const bool known = pos >= 0
            && setOperationForMode(m_state.fileOp, m_queue.task(pos).mode, m_queue.task(pos).destination);
        yield.yield();

        performTask(ref, known, &engineTaken);
        if (engineTaken)
            break;
        const int present = m_queue.count();
        const qint64 percent = present > 0 ? qMin<qint64>(100, roundHalfEven(double(m_runIndex) / present * 100.0))
                                           : 100;
        emit taskDone(m_runIndex, int(percent));
        yield.yield();
        takeInNewRows();
    }
    emit runEnding();
    removeSucceeded();
    emit runFinished();
    if (engineTaken)
        m_svc.dialogs->message(Texts::EngineBusyDuringRun, Texts::TitleKorvan);
    if (!m_state.exitAllowed)
        outcomes.finish();
}

void QueueRunner::takeInNewRows()
{
    // Rows are appended at the end and their references grow along the
    // queue: the rows after the run's last task are the ones queued since.
    const int before = int(m_tasks.size());
    for (int i = m_queue.positionAfter(m_tasks.isEmpty() ? NoRow : m_tasks.last()); i < m_queue.count(); ++i)
        m_tasks.append(m_queue.refAt(i));
    if (m_tasks.size() > before)
        emit runGrew(int(m_tasks.size()));
}

void QueueRunner::performTask(RowRef ref, bool known, bool *engineTaken)
{
    int pos = m_queue.positionOf(ref);
    if (pos < 0 || m_state.exitAllowed)
        return;
    if (known && m_svc.engine->isRunning()) {
        // The engine would refuse this task: it is not performed and stays
        // queued with the ones after it.
        *engineTaken = true;
        return;
    }
    // Another handler may have filled the shared record during the yield (an
    // immediate start): the performer sets it from this row once more.
    const MoveTask task = m_queue.task(pos);
    const FileOpResult result = m_performer.perform(m_state.fileOp, task.sourcePath, task.destination, task.mode);
    const TaskOutcome outcome {task.mode, task.sourcePath, task.destination, result};
    pos = m_queue.positionOf(ref);
    if (outcome.succeeded()) {
        m_succeeded.append(ref);
        m_queue.setOutcomeMark(pos, FileOpResult::Status::Done, QString());
    } else {
        m_queue.setOutcomeMark(pos, result.status,
                               RunTexts::RowMark.arg(RunOutcomes::outcomeWord(result.status), result.message));
    }
}

void QueueRunner::removeSucceeded()
{
    // Everything succeeded: the queue empties as a whole, as it always did.
    if (m_succeeded.size() == m_queue.count()) {
        bool all = true;
        for (const RowRef ref : std::as_const(m_succeeded))
            all = all && m_queue.positionOf(ref) >= 0;
        if (all) {
            m_queue.clearQueue();
            return;
        }
    }
    for (auto it = m_succeeded.crbegin(); it != m_succeeded.crend(); ++it) {
        const int pos = m_queue.positionOf(*it);
        if (pos >= 0)
            m_queue.removeTask(pos);
    }
}
