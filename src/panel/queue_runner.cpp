#include "mainwin/app_context.h"
#include "mainwin/main_window.h"
#include "model/size_text.h"
#include "model/texts.h"
#include "panel/panel_window.h"
#include "platform/event_yield.h"
#include "platform/file_operation.h"
#include "platform/user_dialogs.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QScopeGuard>
#include <QVector>

namespace {

const QString kDone = QStringLiteral("已考");
const QString kFiles = QStringLiteral("个文件");
const QString kLeft = QStringLiteral("还剩");
const QString kPercent = QStringLiteral("％");

// Sets the operation, flags and destination for a mode word; false for a
// word that names no operation (the task is then not performed).
bool setOperationFor(FileOpRecord &op, const MoveTask &task)
{
    if (task.mode == Texts::ModeCopy) {
        op.wFunc = FileOpCode::Copy;
        op.fFlags = FileOpFlag::NoConfirmMkdir | FileOpFlag::AllowUndo;
        op.pTo = task.destination;
        return true;
    }
    if (task.mode == Texts::ModeCut) {
        op.wFunc = FileOpCode::Move;
        op.fFlags = FileOpFlag::NoConfirmMkdir | FileOpFlag::AllowUndo | FileOpFlag::NoConfirmation;
        op.pTo = task.destination;
        return true;
    }
    if (task.mode == Texts::ModeDelete) {
        op.wFunc = FileOpCode::Delete;
        op.fFlags = FileOpFlag::AllowUndo | FileOpFlag::NoConfirmation;
        return true;
    }
    return false;
}

} // namespace

void Form3::kp()
{
    if (m_running)
        return;
    Form1 *main = m_ctx.form1;
    // The engine does one operation at a time. While another one runs (an
    // immediate start, whose wait lets this handler in), every task would be
    // refused: the run does not start and the queue stays as it is.
    if (m_ctx.svc.engine->isRunning()) {
        Form1::setMark(main->syswork.allstart, false);
        Form1::setMark(main->use.main_strat, false);
        m_ctx.svc.dialogs->message(Texts::EngineBusyForRun, Texts::TitleKorvan);
        return;
    }
    m_running = true;
    BusyScope busy(m_ctx);
    auto running = qScopeGuard([this] { m_running = false; });

    MoveQueue &queue = m_ctx.queue;
    EventYield &yield = *m_ctx.svc.yield;

    m_ctx.m.pauseFlag = false;
    main->ProgressBar1->setRange(0, queue.count());
    main->ProgressBar1->setVisible(true);
    setFaceText(QString());

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
    const auto tasksLeft = [&] { return queue.countBetween(refs.at(runIndex - 1), refs.at(tasks - 1)); };

    bool engineTaken = false;
    for (runIndex = 1; runIndex <= tasks; ++runIndex) {
        main->ProgressBar1->setValue(runIndex);
        if (m_ctx.m.pauseFlag || m_ctx.m.exitAllowed)
            break;
        main->Label1->setText(kDone + QString::number(runIndex) + kFiles + kLeft + QString::number(tasksLeft())
                              + kFiles);
        // The face keeps the previous task's percentage while this one runs.
        yield.yield();

        int pos = queue.positionOf(refs.at(runIndex - 1));
        const bool known = pos >= 0 && setOperationFor(m_ctx.m.fileOp, queue.task(pos));
        yield.yield();

        pos = queue.positionOf(refs.at(runIndex - 1));
        if (known && pos >= 0 && !m_ctx.m.exitAllowed) {
            if (m_ctx.svc.engine->isRunning()) {
                // The engine would refuse this task: it is not performed and
                // stays queued with the ones after it.
                engineTaken = true;
                break;
            }
            // Another handler may have filled the shared record during the
            // yield (an immediate start): set it from this row once more.
            setOperationFor(m_ctx.m.fileOp, queue.task(pos));
            m_ctx.m.fileOp.pFrom = queue.task(pos).sourcePath;
            // Take a copy: the record must not change under a running operation.
            const FileOpRecord op = m_ctx.m.fileOp;
            m_ctx.svc.engine->perform(op);
        }
        const int present = queue.count();
        const qint64 percent = present > 0 ? qMin<qint64>(100, roundHalfEven(double(runIndex) / present * 100.0)) : 100;
        setFaceText(u' ' + QString::number(percent) + kPercent);
        yield.yield();
    }
    if (engineTaken) {
        // Only the tasks gone through leave the queue.
        for (int i = 0; i < runIndex - 1; ++i) {
            const int pos = queue.positionOf(refs.at(i));
            if (pos >= 0)
                queue.removeTask(pos);
        }
    }
    finishRun(!engineTaken);
    if (engineTaken)
        m_ctx.svc.dialogs->message(Texts::EngineBusyDuringRun, Texts::TitleKorvan);
}

void Form3::finishRun(bool emptyQueue)
{
    Form1 *main = m_ctx.form1;
    Form1::setMark(main->syswork.allstart, false);
    Form1::setMark(main->use.main_strat, false);
    main->ProgressBar1->setVisible(false);
    if (emptyQueue)
        m_ctx.queue.clearQueue();
    main->Label1->setText(Texts::Banner);
    setFaceText(QString());
    Form1::setMark(main->use.main_strat, false);
    Form1::setMark(main->syswork.allstart, false);
}
