#include "program/window_setup.h"

#include "app/app_context.h"
#include "candidates/candidate_window.h"
#include "dialogs/add_task_dialog.h"
#include "dialogs/run_results_window.h"
#include "mainwin/main_window.h"
#include "panel/panel_window.h"
#include "platform/desktop_notifications.h"
#include "run/queue_runner.h"
#include "run/run_texts.h"

#include <QApplication>

AppWindows::AppWindows(AppContext &ctx)
    : m_ctx(ctx)
{
    m_form1 = std::make_unique<Form1>(m_ctx);
    // The panel first: it floats above every other window.
    m_form3 = std::make_unique<Form3>(m_ctx);
    // The add-task dialog, hidden; its creation gives defaultMode its first word.
    m_form4 = std::make_unique<Form4>(m_ctx);
    m_form4->setAnchor(m_form3.get());
    m_ctx.addTaskHolds = [this] { return qMakePair(m_form4->heldSource(), m_form4->heldName()); };
    m_intake = std::make_unique<DropIntake>(m_ctx.queue, m_ctx.candidates, m_ctx.m, m_ctx.svc,
                                            static_cast<IntakeWindows &>(*this));
    QObject::connect(m_form3.get(), &Form3::pathsTaken, m_form3.get(),
                     [this](const QStringList &paths) { m_intake->take(paths); });
    m_ctx.m.exitAllowed = false;
    wire();
    m_ctx.m.pauseFlag = false;
    m_form3->show();
    // The candidate window, hidden until several paths are dropped at once.
    m_form7 = std::make_unique<Form7>(m_ctx);
    m_form7->setAnchor(m_form3.get());
    wireCandidateWindow();
    m_runResults = std::make_unique<RunResultsWindow>(m_ctx);
    wireRunResults();
}

AppWindows::~AppWindows()
{
    // The windows go while the context they use still stands.
    m_ctx.addTaskHolds = nullptr;
    m_form4->setAnchor(nullptr);
    m_form7->setAnchor(nullptr);
    m_runResults.reset();
    m_form3.reset();
    m_form4.reset();
    m_form1.reset();
    m_form7.reset();
}

void AppWindows::wire()
{
    // The mode marks follow the default mode wherever it is changed.
    Form1 *main = m_form1.get();
    Form3 *panel = m_form3.get();
    Form4 *addTask = m_form4.get();
    QObject::connect(&m_ctx.m.notifier, &Module1Notifier::defaultModeChanged, main, &Form1::setDefaultModeMarks);

    // The main window's menus.
    QObject::connect(main, &Form1::runRequested, panel, &Form3::kp);
    QObject::connect(main, &Form1::exitRequested, panel, &Form3::requestExit);
    QObject::connect(main, &Form1::addTaskRequested, addTask, &Form4::openEmpty);
    // One switch, two faces: the panel menu's "开启默认设置" and the add-task
    // dialog's default box follow each other.
    QObject::connect(main, &Form1::defaultsSwitched, addTask, &Form4::setDefaultsBoxTicked);
    QObject::connect(addTask, &Form4::defaultsBoxToggled, main, &Form1::setDefaultsSwitch);
    QObject::connect(addTask, &Form4::taskAppended, main, &Form1::setDefaultModeMarks);

    // The panel's face.
    QObject::connect(panel, &Form3::mainWindowToggleRequested, main, &Form1::toggleShown);
    QObject::connect(panel, &Form3::panelMenuRequested, main, &Form1::popUpPanelMenu);
    QObject::connect(panel, &Form3::otherWindowsClosing, main, [this] {
        m_form1->close();
        if (m_runResults)
            m_runResults->close();
        m_form4->close();
        m_ctx.candidates.clear();
        if (m_form7)
            m_form7->close();
    });

    // The run, step by step; where several windows show one step, the
    // connections keep the order in which they show it.
    QueueRunner *runner = &m_ctx.runner;
    QObject::connect(runner, &QueueRunner::runRefused, main, [main] { main->setRunMarks(false); });
    QObject::connect(runner, &QueueRunner::runStarted, main, &Form1::showRunProgress);
    QObject::connect(runner, &QueueRunner::runStarted, panel, [panel] { panel->setFaceText(QString()); });
    QObject::connect(runner, &QueueRunner::runGrew, main, &Form1::showRunProgress);
    QObject::connect(runner, &QueueRunner::taskReached, main, &Form1::setRunProgress);
    QObject::connect(runner, &QueueRunner::taskStarted, main, &Form1::showRunCaption);
    QObject::connect(runner, &QueueRunner::taskDone, panel,
                     [panel](int, int percent) { panel->showRunPercent(percent); });
    QObject::connect(runner, &QueueRunner::runEnding, main, [main] {
        main->setRunMarks(false);
        main->hideRunProgress();
    });
    QObject::connect(runner, &QueueRunner::runFinished, main, &Form1::showBanner);
    QObject::connect(runner, &QueueRunner::runFinished, panel, [panel] { panel->setFaceText(QString()); });
    QObject::connect(runner, &QueueRunner::runFinished, main, [main] { main->setRunMarks(false); });
}

void AppWindows::wireCandidateWindow()
{
    Form1 *main = m_form1.get();
    QObject::connect(m_form7.get(), &Form7::tasksQueued, main, [main] {
        if (!main->isVisible())
            main->show();
    });
}

void AppWindows::wireRunResults()
{
    // A run or an immediate start that did not fully succeed shows its
    // account beside the panel; "重新运行失败的任务" runs what stayed queued.
    RunResultsWindow *results = m_runResults.get();
    Form3 *panel = m_form3.get();
    QObject::connect(&m_ctx.outcomes, &RunOutcomes::accountClosed, results, [this, results, panel] {
        if (m_ctx.m.exitAllowed)
            return;
        notifyDesktopOfLongRun();
        m_form1->showLastRun(RunTexts::LastRun.arg(m_ctx.outcomes.summaryLine()));
        if (m_ctx.outcomes.needsShowing())
            results->showAccount(panel);
        else
            results->hide();
    });
    QObject::connect(results, &RunResultsWindow::rerunRequested, panel, &Form3::kp);
}

void AppWindows::notifyDesktopOfLongRun()
{
    const RunOutcomes &outcomes = m_ctx.outcomes;
    if (!m_ctx.svc.notifications || outcomes.elapsedMs() < notifyAfterMs || QApplication::activeWindow())
        return;
    const int failed = outcomes.failedCount();
    const QString summary = failed > 0 ? RunTexts::NotifySomeFailed.arg(outcomes.succeededCount()).arg(failed)
                                       : RunTexts::NotifyAllDone.arg(outcomes.succeededCount());
    m_ctx.svc.notifications->notify(summary, outcomes.summaryLine());
}
