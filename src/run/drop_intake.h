#pragma once

#include "model/candidate_list.h"
#include "platform/services.h"

#include <QStringList>
#include <optional>

class MoveQueue;
struct Module1;

// What the drop intake asks of the windows and hands over to them; the
// window setup answers for the add-task dialog and the candidate window.
class IntakeWindows
{
public:
    virtual ~IntakeWindows() = default;
    // "开启默认设置" is on, or the add-task dialog's default box is ticked.
    virtual bool defaultsInForce() const = 0;
    // The task the add-task dialog is open with (source, name, destination),
    // when it is open with a source.
    virtual std::optional<CandidateRow> addTaskDialogHolding() const = 0;
    // The add-task dialog takes path as its source and comes to the front.
    virtual void offerToAddTaskDialog(const QString &path) = 0;
    virtual void closeAddTaskDialog() = 0;
    // The candidate window comes up in front, restored if minimised.
    virtual void showCandidateWindow() = 0;
};

// Turns dropped paths into work: straight into the queue when the defaults
// are in force, into the add-task dialog for a single path, or into the
// candidate window.
class DropIntake
{
public:
    DropIntake(MoveQueue &queue, CandidateList &candidates, Module1 &state, const Services &svc,
               IntakeWindows &windows);

    void take(const QStringList &paths);

    // True while "开启默认设置" is checked or the add-task dialog's default
    // box is ticked.
    bool defaultsInForce() const { return m_windows.defaultsInForce(); }

private:
    void takeSingle(const QString &path);
    void takeSeveral(const QStringList &paths);

    MoveQueue &m_queue;
    CandidateList &m_candidates;
    Module1 &m_state;
    const Services &m_svc;
    IntakeWindows &m_windows;
};
