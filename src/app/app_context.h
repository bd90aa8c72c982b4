#pragma once

#include "model/candidate_list.h"
#include "model/module1.h"
#include "model/move_queue.h"
#include "model/summary_list.h"
#include "platform/services.h"
#include "run/queue_runner.h"
#include "run/run_outcomes.h"
#include "run/task_performer.h"

#include <QPair>
#include <QString>
#include <functional>

class QDialog;

// Everything the windows share: the state, the queue with its summary rows,
// the candidate list, the services and the run. It knows no window: the
// window setup (program/) is the one place that makes and connects them.
class AppContext
{
public:
    explicit AppContext(const Services &services);
    ~AppContext();
    AppContext(const AppContext &) = delete;
    AppContext &operator=(const AppContext &) = delete;

    Services svc;
    Module1 m;
    SummaryList summary;
    MoveQueue queue {&summary};
    CandidateList candidates;
    // The account of the latest run or immediate start, the one way a task
    // is performed, and the queue's runner.
    RunOutcomes outcomes;
    TaskPerformer performer {svc.engine, outcomes};
    QueueRunner runner {queue, m, svc, performer};

    // The source and the name the add-task dialog holds (the destination
    // picker refuses a destination that would put it onto itself); set by
    // the window setup.
    std::function<QPair<QString, QString>()> addTaskHolds;
    // The modal pickers and the about box while one is open.
    QDialog *openModal = nullptr;

    // A queue run is going on.
    bool queueRunning() const;
    // The engine performs an operation or a queue run is going on: no other
    // operation may start (the engine does one at a time).
    bool fileOperationBusy() const;

    // Long handlers that let the event loop run hold a BusyScope (busy_scope.h);
    // the program's exit waits until the last one has unwound.
    int busyDepth = 0;
    bool quitWhenIdle = false;
    void quitNowOrWhenIdle();
};
