#include "panel/queue_runner.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "model/mode_operation.h"
#include "model/size_text.h"
#include "model/texts.h"
#include "platform/event_yield.h"
#include "platform/file_operation.h"
#include "platform/user_dialogs.h"

#include <QScopeGuard>
#include <QVector>

QueueRunner::QueueRunner(AppContext &ctx, QObject *parent)
    : QObject(parent)
    , m_ctx(ctx)
{ }

void QueueRunner::run()
{
    if (m_running)
        return;
    // The engine does one operation at a time. While another one runs (an
    // immediate start, whose wait lets this handler in), every task would be
    // refused: the run does not start and the queue stays as it is.
    if (m_ctx.fileOperationBusy()) {
        emit runRefused();
        m_ctx.svc.dialogs->message(Texts::EngineBusyForRun, Texts::TitleKorvan);
        return;
    }
    m_running = true;
    BusyScope busy(m_ctx);
    auto running = qScopeGuard([this] { m_running = false; });

    MoveQueue &queue = m_ctx.queue;
    EventYield &yield = *m_ctx.svc.yield;

    m_ctx.m.pauseFlag = false;
    emit runStarted(queue.count());

    // The tasks of this run are the rows queued now; rows added meanwhile
    // wait for the ending steps. Each is held by reference, so a row the user
    // removes during the run is simply not performed, and no other row is
    // ever performed in its place.
    const int tasks = queue.count();
    QVector<RowRef> refs;
    refs.reserve(tasks);
    for (int i = 0; i < tasks; ++i)
        refs.append(queue.refAt(i));
    // The tasks of this run after the current one that are still queued.
    const auto tasksLeft = [&] { return queue.countBetween(refs.at(m_runIndex - 1), refs.at(tasks - 1)); };

    bool engineTaken = false;
    for (m_runIndex = 1; m_runIndex <= tasks; ++m_runIndex) {
        emit taskReached(m_runIndex);
        if (m_ctx.m.pauseFlag || m_ctx.m.exitAllowed)
            break;
        emit taskStarted(m_runIndex, tasksLeft());
        // The face keeps the previous task's percentage while this one runs.
        yield.yield();

        int pos = queue.positionOf(refs.at(m_runIndex - 1));
        const bool known = pos >= 0
            && setOperationForMode(m_ctx.m.fileOp, queue.task(pos).mode, queue.task(pos).destination);
        yield.yield();

        pos = queue.positionOf(refs.at(m_runIndex - 1));
        if (known && pos >= 0 && !m_ctx.m.exitAllowed) {
            if (m_ctx.svc.engine->isRunning()) {
                // The engine would refuse this task: it is not performed and
                // stays queued with the ones after it.
                engineTaken = true;
                break;
            }
            // Another handler may have filled the shared record during the
            // yield (an immediate start): set it from this row once more.
            setOperationForMode(m_ctx.m.fileOp, queue.task(pos).mode, queue.task(pos).destination);
            m_ctx.m.fileOp.pFrom = queue.task(pos).sourcePath;
            // Take a copy: the record must not change under a running operation.
            const FileOpRecord op = m_ctx.m.fileOp;
            m_ctx.svc.engine->perform(op);
        }
        const int present = queue.count();
        const qint64 percent = present > 0 ? qMin<qint64>(100, roundHalfEven(double(m_runIndex) / present * 100.0))
                                           : 100;
        emit taskDone(m_runIndex, int(percent));
        yield.yield();
    }
    if (engineTaken) {
        // Only the tasks gone through leave the queue.
        for (int i = 0; i < m_runIndex - 1; ++i) {
            const int pos = queue.positionOf(refs.at(i));
            if (pos >= 0)
                queue.removeTask(pos);
        }
    }
    finishRun(!engineTaken);
    if (engineTaken)
        m_ctx.svc.dialogs->message(Texts::EngineBusyDuringRun, Texts::TitleKorvan);
}

void QueueRunner::finishRun(bool emptyQueue)
{
    emit runEnding();
    if (emptyQueue)
        m_ctx.queue.clearQueue();
    emit runFinished();
}
