#pragma once

#include "model/move_task.h"
#include "platform/services.h"

#include <QObject>
#include <QVector>

class MoveQueue;
struct Module1;
class TaskPerformer;

// Performs the queue in order ("全部开始"). The run goes on until no task it
// has not performed is left, taking in the rows queued meanwhile, unless it
// is paused. Its end removes exactly the tasks that succeeded; a task that
// failed or was cancelled stays queued with a mark, and so do the tasks a
// pause left. It touches no window: what the windows show of a run follows
// from its signals, each emitted at the step where the run shows it.
class QueueRunner : public QObject
{
    Q_OBJECT
public:
    QueueRunner(MoveQueue &queue, Module1 &state, const Services &svc, TaskPerformer &performer,
                QObject *parent = nullptr);

    // Returns when the run is over; a second call while a run is going on
    // does nothing, and a call while another file operation runs is refused
    // with a message and the queue kept.
    void run();
    bool isRunning() const { return m_running; }
    // The 1-based position, among the tasks of this run, of the task being performed.
    int runIndex() const { return m_runIndex; }

signals:
    // The engine was busy: the run did not start.
    void runRefused();
    // A run of this many tasks starts.
    void runStarted(int tasks);
    // Rows queued during the run joined it: it now has this many tasks.
    void runGrew(int tasks);
    // The run reached task index, before the pause is checked.
    void taskReached(int index);
    // Task index starts; left of this run's tasks are queued after it.
    void taskStarted(int index, int left);
    // Task index is done; percent of the queue present is through.
    void taskDone(int index, int percent);
    // The run is over; the tasks that succeeded leave the queue right after.
    void runEnding();
    // The ending steps are done.
    void runFinished();

private:
    void takeInNewRows();
    void performTask(RowRef ref, bool known, bool *engineTaken);
    void removeSucceeded();

    MoveQueue &m_queue;
    Module1 &m_state;
    const Services &m_svc;
    TaskPerformer &m_performer;
    bool m_running = false;
    int m_runIndex = 0;
    // The tasks of the run, held by reference, and those that succeeded.
    QVector<RowRef> m_tasks;
    QVector<RowRef> m_succeeded;
};
