// Where dropped paths go: the queue, the add-task dialog or the candidate window.
#include "run/drop_intake.h"

#include "model/duplicate_check.h"
#include "model/module1.h"
#include "model/move_queue.h"
#include "model/size_text.h"
#include "model/task_builder.h"
#include "platform/event_yield.h"

DropIntake::DropIntake(MoveQueue &queue, CandidateList &candidates, Module1 &state, const Services &svc,
                       IntakeWindows &windows)
    : m_queue(queue)
    , m_candidates(candidates)
    , m_state(state)
    , m_svc(svc)
    , m_windows(windows)
{ }

void DropIntake::take(const QStringList &paths)
{
    if (paths.isEmpty() || m_state.exitAllowed)
        return;
    if (paths.size() < 2)
        takeSingle(paths.first());
    else
        takeSeveral(paths);
}

void DropIntake::takeSingle(const QString &path)
{
    if (checkQueueDuplicate(m_queue, path, *m_svc.dialogs, *m_svc.yield) == DuplicateOutcome::Declined)
        return;
    if (m_state.exitAllowed)
        return;

    if (defaultsInForce()) {
        m_queue.appendTask(taskWithDefaults(*m_svc.files, path, m_state.defaultDest, m_state.defaultMode));
        return;
    }

    const std::optional<CandidateRow> held = m_windows.addTaskDialogHolding();
    if (held && held->sourcePath != path) {
        // The dialog is busy with another path: both go to the candidate window.
        CandidateRow kept = *held;
        kept.sizeK = sizeTextFor(*m_svc.files, kept.sourcePath);
        m_candidates.append(kept);

        CandidateRow dropped;
        dropped.name = pathName(path);
        dropped.sizeK = sizeTextFor(*m_svc.files, path);
        dropped.sourcePath = path;
        m_candidates.append(dropped);

        m_windows.closeAddTaskDialog();
        m_windows.showCandidateWindow();
        return;
    }

    // Open but covered by other windows, the dialog comes to the front too:
    // every drop gets an answer the user can see.
    m_windows.offerToAddTaskDialog(path);
}

void DropIntake::takeSeveral(const QStringList &paths)
{
    const int count = int(paths.size());
    for (int i = 0; i < count; ++i) {
        m_svc.yield->yield();
        if (m_state.exitAllowed)
            return;
        const QString &path = paths.at(i);
        if (checkQueueDuplicate(m_queue, path, *m_svc.dialogs, *m_svc.yield) == DuplicateOutcome::Declined)
            continue;
        if (defaultsInForce()) {
            m_queue.appendTask(taskWithDefaults(*m_svc.files, path, m_state.defaultDest, m_state.defaultMode));
            continue;
        }
        if (checkCandidateDuplicate(m_candidates, path, *m_svc.dialogs, *m_svc.yield) == DuplicateOutcome::Declined)
            continue;
        m_candidates.append(candidateWithDefaults(*m_svc.files, path, m_state.defaultDest, m_state.defaultMode));
    }
    if (m_state.exitAllowed || defaultsInForce())
        return;
    m_windows.showCandidateWindow();
}
