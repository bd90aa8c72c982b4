#include "app/window_setup.h"

#include "app/app_context.h"
#include "candidates/candidate_window.h"
#include "dialogs/add_task_dialog.h"
#include "mainwin/main_window.h"
#include "panel/panel_window.h"
#include "panel/queue_runner.h"

AppWindows::AppWindows(AppContext &ctx)
    : m_ctx(ctx)
{
    m_form1 = std::make_unique<Form1>(m_ctx);
    m_ctx.form1 = m_form1.get();
    // The panel first: it floats above every other window.
    m_form3 = std::make_unique<Form3>(m_ctx);
    m_ctx.form3 = m_form3.get();
    // The add-task dialog, hidden; its creation gives defaultMode its first word.
    m_form4 = std::make_unique<Form4>(m_ctx);
    m_ctx.form4 = m_form4.get();
    m_ctx.m.exitAllowed = false;
    wire();
    m_ctx.m.pauseFlag = false;
    m_form3->show();
    // The candidate window, hidden until several paths are dropped at once.
    m_form7 = std::make_unique<Form7>(m_ctx);
    m_ctx.form7 = m_form7.get();
    wireCandidateWindow();
}

AppWindows::~AppWindows()
{
    // The windows go while the context they use still stands.
    m_ctx.form3 = nullptr;
    m_ctx.form4 = nullptr;
    m_form3.reset();
    m_form4.reset();
    m_ctx.form1 = nullptr;
    m_form1.reset();
    m_ctx.form7 = nullptr;
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
    QObject::connect(main, &Form1::exitRequested, panel, &Form3::sys_exit);
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
        m_form4->close();
        m_ctx.candidates.clear();
        if (m_form7)
            m_form7->close();
    });

    // The run, step by step; where several windows show one step, the
    // connections keep the order in which they show it.
    QueueRunner *runner = panel->runner();
    QObject::connect(runner, &QueueRunner::runRefused, main, [main] { main->setRunMarks(false); });
    QObject::connect(runner, &QueueRunner::runStarted, main, &Form1::showRunProgress);
    QObject::connect(runner, &QueueRunner::runStarted, panel, [panel] { panel->setFaceText(QString()); });
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
