#pragma once

#include "run/drop_intake.h"

#include <memory>

class AppContext;
class Form1;
class Form3;
class Form4;
class Form7;
class RunResultsWindow;

// Every window of the program, made and wired in one place: the main window,
// the panel, the add-task dialog, the candidate window and "运行结果". No
// window makes another; each reaches the rest through the operations wired
// here, and the drop intake reaches them through this object. The windows
// live until this object goes, which happens before the context.
class AppWindows : private IntakeWindows
{
public:
    explicit AppWindows(AppContext &ctx);
    ~AppWindows();
    AppWindows(const AppWindows &) = delete;
    AppWindows &operator=(const AppWindows &) = delete;

    Form1 *form1() const { return m_form1.get(); }
    Form3 *form3() const { return m_form3.get(); }
    Form4 *form4() const { return m_form4.get(); }
    Form7 *form7() const { return m_form7.get(); }
    RunResultsWindow *runResults() const { return m_runResults.get(); }

    // A run that took longer than this, ending while no window of ours is
    // active, is told to the desktop (public so that tests can lower it).
    qint64 notifyAfterMs = 10000;

private:
    void wire();
    void wireCandidateWindow();
    void wireRunResults();
    void notifyDesktopOfLongRun();

    // What the drop intake asks of the add-task dialog and the candidate window.
    bool defaultsInForce() const override;
    std::optional<CandidateRow> addTaskDialogHolding() const override;
    void offerToAddTaskDialog(const QString &path) override;
    void closeAddTaskDialog() override;
    void showCandidateWindow() override;

    AppContext &m_ctx;
    std::unique_ptr<Form1> m_form1;
    std::unique_ptr<Form3> m_form3;
    std::unique_ptr<Form4> m_form4;
    std::unique_ptr<Form7> m_form7;
    std::unique_ptr<RunResultsWindow> m_runResults;
    std::unique_ptr<DropIntake> m_intake;
};
