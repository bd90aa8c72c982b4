#include "panel/drop_intake.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "candidates/candidate_window.h"
#include "dialogs/add_task_dialog.h"
#include "gui/widget_helpers.h"
#include "model/duplicate_check.h"
#include "model/size_text.h"
#include "model/task_builder.h"
#include "panel/panel_window.h"
#include "platform/event_yield.h"

DropIntake::DropIntake(AppContext &ctx)
    : m_ctx(ctx)
{ }

bool DropIntake::defaultsInForce() const
{
    return m_ctx.defaultsInForce();
}

void DropIntake::take(const QStringList &paths)
{
    if (paths.isEmpty() || m_ctx.m.exitAllowed)
        return;
    BusyScope busy(m_ctx);
    if (paths.size() < 2)
        takeSingle(paths.first());
    else
        takeSeveral(paths);
}

void DropIntake::takeSingle(const QString &path)
{
    m_ctx.form3->dropPath = path;
    Services &svc = m_ctx.svc;
    if (checkQueueDuplicate(m_ctx.queue, path, *svc.dialogs, *svc.yield) == DuplicateOutcome::Declined)
        return;
    if (m_ctx.m.exitAllowed)
        return;

    if (defaultsInForce()) {
        m_ctx.queue.appendTask(taskWithDefaults(*svc.files, path, m_ctx.m.defaultDest, m_ctx.m.defaultMode));
        return;
    }

    Form4 *dialog = m_ctx.form4;
    const QString busyWith = dialog->heldSource();
    if (dialog->isVisible() && !busyWith.isEmpty() && busyWith != path) {
        // The dialog is busy with another path: both go to the candidate window.
        CandidateRow held;
        held.name = dialog->heldName();
        held.sizeK = sizeTextFor(*svc.files, busyWith);
        held.sourcePath = busyWith;
        held.destination = dialog->heldDestination();
        m_ctx.candidates.append(held);

        CandidateRow dropped;
        dropped.name = pathName(path);
        dropped.sizeK = sizeTextFor(*svc.files, path);
        dropped.sourcePath = path;
        m_ctx.candidates.append(dropped);

        Form7 *candidates = m_ctx.candidateWindow();
        if (!candidates->isVisible())
            candidates->show();
        dialog->close();
        if (candidates->isMinimized())
            candidates->showNormal();
        bringAbove(candidates);
        return;
    }

    dialog->offerSource(path);
    // Open but covered by other windows, the dialog comes to the front too:
    // every drop gets an answer the user can see.
    dialog->bringToFront();
}

void DropIntake::takeSeveral(const QStringList &paths)
{
    Services &svc = m_ctx.svc;
    const int count = int(paths.size());
    for (int i = 0; i < count; ++i) {
        svc.yield->yield();
        if (m_ctx.m.exitAllowed)
            return;
        const QString &path = paths.at(i);
        if (checkQueueDuplicate(m_ctx.queue, path, *svc.dialogs, *svc.yield) == DuplicateOutcome::Declined)
            continue;
        if (defaultsInForce()) {
            m_ctx.queue.appendTask(taskWithDefaults(*svc.files, path, m_ctx.m.defaultDest, m_ctx.m.defaultMode));
            continue;
        }
        if (checkCandidateDuplicate(m_ctx.candidates, path, *svc.dialogs, *svc.yield) == DuplicateOutcome::Declined)
            continue;
        m_ctx.candidates.append(candidateWithDefaults(*svc.files, path, m_ctx.m.defaultDest, m_ctx.m.defaultMode));
    }
    if (m_ctx.m.exitAllowed || defaultsInForce())
        return;
    Form7 *candidates = m_ctx.candidateWindow();
    if (!candidates->isVisible())
        candidates->show();
    if (candidates->isMinimized())
        candidates->showNormal();
    bringAbove(candidates);
}
