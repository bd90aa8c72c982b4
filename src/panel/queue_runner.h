#pragma once

#include <QObject>

class AppContext;

// Performs the queue in order ("全部开始"), then empties it. It touches no
// window: what the windows show of a run follows from its signals, which the
// window setup connects, each emitted at the step where the run shows it.
class QueueRunner : public QObject
{
    Q_OBJECT
public:
    explicit QueueRunner(AppContext &ctx, QObject *parent = nullptr);

    // Returns when the run is over; a second call while a run is going on
    // does nothing, and a call while another file operation runs is refused
    // with a message and the queue kept.
    void run();
    bool isRunning() const { return m_running; }
    // The 1-based queue position of the task being performed.
    int runIndex() const { return m_runIndex; }

signals:
    // The engine was busy: the run did not start.
    void runRefused();
    // A run of this many tasks starts.
    void runStarted(int tasks);
    // The run reached task index, before the pause is checked.
    void taskReached(int index);
    // Task index starts; left of this run's tasks are queued after it.
    void taskStarted(int index, int left);
    // Task index is done; percent of the queue present is through.
    void taskDone(int index, int percent);
    // The run is over; the queue is emptied right after (unless the run was
    // stopped with tasks it could not perform).
    void runEnding();
    // The ending steps are done.
    void runFinished();

private:
    void finishRun(bool emptyQueue);

    AppContext &m_ctx;
    bool m_running = false;
    int m_runIndex = 0;
};
