#pragma once

#include "model/candidate_list.h"
#include "model/module1.h"
#include "model/move_queue.h"
#include "model/summary_list.h"

class UserDialogs;
class FileOperation;
class ShellOpen;
class DiskSpace;
class FileQueries;
class EventYield;

class Form1;
class Form3;
class Form4;
class Form7;
class QDialog;

// The platform seams the windows work through.
struct Services
{
    UserDialogs *dialogs = nullptr;
    FileOperation *engine = nullptr;
    ShellOpen *shell = nullptr;
    DiskSpace *disk = nullptr;
    FileQueries *files = nullptr;
    EventYield *yield = nullptr;
};

// Everything the windows share: the state, the queue with its summary rows,
// the candidate list and the services. The window pointers are filled by
// the window setup, the one place that makes every window.
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

    // Set by the window setup (AppWindows); they live until the program ends.
    Form1 *form1 = nullptr;
    Form3 *form3 = nullptr;
    Form4 *form4 = nullptr;
    Form7 *form7 = nullptr;
    // The modal pickers and the about box while one is open.
    QDialog *openModal = nullptr;

    Form7 *candidateWindow() const { return form7; }
    // The panel, which the other windows open beside.
    QWidget *panel() const;
    // Drops take the defaults without a question: the panel menu's
    // "开启默认设置" is on, or the add-task dialog's default box is ticked.
    bool defaultsInForce() const;
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
