// The window setup's answers to the drop intake: the add-task dialog and
// the candidate window, as a drop needs them.
#include "program/window_setup.h"

#include "candidates/candidate_window.h"
#include "dialogs/add_task_dialog.h"
#include "gui/widget_helpers.h"
#include "mainwin/main_window.h"

bool AppWindows::defaultsInForce() const
{
    return m_form1->defaultsSwitchOn() || m_form4->defaultsBoxTicked();
}

std::optional<CandidateRow> AppWindows::addTaskDialogHolding() const
{
    if (!m_form4->isVisible() || m_form4->heldSource().isEmpty())
        return std::nullopt;
    CandidateRow held;
    held.name = m_form4->heldName();
    held.sourcePath = m_form4->heldSource();
    held.destination = m_form4->heldDestination();
    return held;
}

void AppWindows::offerToAddTaskDialog(const QString &path)
{
    m_form4->offerSource(path);
    m_form4->bringToFront();
}

void AppWindows::closeAddTaskDialog()
{
    m_form4->close();
}

void AppWindows::showCandidateWindow()
{
    Form7 *candidates = m_form7.get();
    if (!candidates->isVisible())
        candidates->show();
    if (candidates->isMinimized())
        candidates->showNormal();
    bringAbove(candidates);
}
