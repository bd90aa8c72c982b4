#include "candidates/candidate_window.h"
#include "dialogs/add_task_dialog.h"
#include "model/texts.h"
#include "panel/panel_window.h"
#include "run/run_texts.h"
#include "support/drops.h"
#include "support/test_app.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

MoveTask task(const QString &path, const QString &mode, const QString &dest = QStringLiteral("/dest/"))
{
    MoveTask t;
    t.name = path.section(u'/', -1);
    t.sourcePath = path;
    t.destination = dest;
    t.mode = mode;
    return t;
}

void queueCopies(TestApp &app, int n)
{
    for (int i = 1; i <= n; ++i)
        app.ctx.queue.appendTask(task(QStringLiteral("/src/f%1").arg(i), Texts::ModeCopy));
}

QList<int> counters(const TestApp &app)
{
    const QueueCounters &c = app.ctx.queue.counters();
    return {c.copyCount, c.cutCount, c.deleteCount, c.totalCount};
}

QStringList performedSources(const TestApp &app)
{
    QStringList out;
    for (const FileOpRecord &op : app.engine.performed)
        out << op.pFrom;
    return out;
}

// The runner's captions (seen while each task is performed) and the panel
// percentages (seen at each yield after a task).
struct RunLog
{
    QStringList captions;
    QStringList faces;
    QList<int> progress;
};

void recordRun(TestApp &app, RunLog &log)
{
    app.engine.onPerform = [&app, &log](const FileOpRecord &) {
        log.captions << app.form1->Label1->text();
        log.progress << app.form1->ProgressBar1->value();
    };
    app.yield.onYield = [&app, &log] {
        const QString face = app.form3->faceText();
        if (!face.isEmpty() && (log.faces.isEmpty() || log.faces.last() != face))
            log.faces << face;
    };
}

} // namespace

class TestQueueRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void fourTasksShowCaptionsAndPercentagesThenEmptyTheQueue()
    {
        TestApp app;
        queueCopies(app, 4);
        RunLog log;
        recordRun(app, log);
        app.form1->use.main_strat->trigger();

        QCOMPARE(log.captions,
                 (QStringList {QStringLiteral("已考1个文件还剩3个文件"), QStringLiteral("已考2个文件还剩2个文件"),
                               QStringLiteral("已考3个文件还剩1个文件"), QStringLiteral("已考4个文件还剩0个文件")}));
        QCOMPARE(log.faces,
                 (QStringList {QStringLiteral(" 25％"), QStringLiteral(" 50％"), QStringLiteral(" 75％"),
                               QStringLiteral(" 100％")}));
        QCOMPARE(log.progress, (QList<int> {1, 2, 3, 4}));
        QCOMPARE(performedSources(app),
                 (QStringList {QStringLiteral("/src/f1"), QStringLiteral("/src/f2"), QStringLiteral("/src/f3"),
                               QStringLiteral("/src/f4")}));
        // The ending steps.
        QCOMPARE(app.ctx.queue.count(), 0);
        QCOMPARE(app.form3->faceText(), QString());
        QCOMPARE(app.form1->Label1->text(), QStringLiteral("Pellavo 精品奉献 追求完美与进步"));
        QVERIFY(app.form1->ProgressBar1->isHidden());
        QVERIFY(!app.form1->use.main_strat->isChecked());
        QVERIFY(!app.form1->syswork.allstart->isChecked());
        QCOMPARE(app.ctx.summary.text(1), QStringLiteral("复制的文件有0个"));
        QCOMPARE(app.ctx.summary.text(4), QStringLiteral("共要移动的文件个数有0个"));
    }

    void runningMarksAreSetWhileTheRunGoes()
    {
        TestApp app;
        queueCopies(app, 1);
        bool mainMark = false, panelMark = true;
        app.engine.onPerform = [&](const FileOpRecord &) {
            mainMark = app.form1->use.main_strat->isChecked();
            panelMark = app.form1->syswork.allstart->isChecked();
        };
        // Started from the panel: the panel's own entry is left as it was.
        app.form1->syswork.allstart->trigger();
        QVERIFY(mainMark);
        QVERIFY(!panelMark);
        QVERIFY(app.form1->ProgressBar1->isHidden());
    }

    void percentagesRoundHalvesToEven()
    {
        TestApp app;
        queueCopies(app, 8);
        RunLog log;
        recordRun(app, log);
        app.form1->main_strat();
        QCOMPARE(log.faces.value(0), QStringLiteral(" 12％"));
        QCOMPARE(log.faces.value(2), QStringLiteral(" 38％"));
        QCOMPARE(log.faces.value(7), QStringLiteral(" 100％"));
    }

    void eachModeGetsItsOperationInQueueOrder()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy, QStringLiteral("/to-a/")));
        app.ctx.queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCut, QStringLiteral("/to-b/")));
        app.ctx.queue.appendTask(task(QStringLiteral("/c"), Texts::ModeDelete, QStringLiteral("/ignored/")));
        app.form1->main_strat();
        const QList<FileOpRecord> &ops = app.engine.performed;
        QCOMPARE(ops.size(), 3);
        QCOMPARE(ops[0].wFunc, quint32(2));
        QCOMPARE(ops[0].fFlags, quint16(0x240));
        QCOMPARE(ops[0].pTo, QStringLiteral("/to-a/"));
        QCOMPARE(ops[0].pFrom, QStringLiteral("/a"));
        QCOMPARE(ops[1].wFunc, quint32(1));
        QCOMPARE(ops[1].fFlags, quint16(0x250));
        QCOMPARE(ops[1].pTo, QStringLiteral("/to-b/"));
        QCOMPARE(ops[2].wFunc, quint32(3));
        QCOMPARE(ops[2].fFlags, quint16(0x50));
        // A delete leaves the destination as the previous task set it.
        QCOMPARE(ops[2].pTo, QStringLiteral("/to-b/"));
        QCOMPARE(ops[2].pFrom, QStringLiteral("/c"));
        QCOMPARE(ops[2].hwnd, quint32(0));
    }

    void aPauseDuringTheSecondOfFiveLetsItFinishAndStops()
    {
        TestApp app;
        queueCopies(app, 5);
        app.engine.onPerform = [&](const FileOpRecord &op) {
            if (op.pFrom == QStringLiteral("/src/f2"))
                app.form1->use.main_push->trigger();
        };
        app.form1->main_strat();
        QCOMPARE(performedSources(app), (QStringList {QStringLiteral("/src/f1"), QStringLiteral("/src/f2")}));
        // The tasks not performed stay queued, in order, for the next run.
        QCOMPARE(app.ctx.queue.count(), 3);
        QCOMPARE(app.ctx.queue.task(0).sourcePath, QStringLiteral("/src/f3"));
        QCOMPARE(counters(app), (QList<int> {3, 0, 0, 3}));
        QVERIFY(app.form1->ProgressBar1->isHidden());
        QCOMPARE(app.form3->faceText(), QString());
        QVERIFY(!app.form1->use.main_strat->isChecked());
        QVERIFY(!app.form1->syswork.allstart->isChecked());
        QCOMPARE(app.form1->Label1->text(), Texts::Banner);
        QVERIFY(app.ctx.m.pauseFlag);
    }

    void aPauseAskedWhileIdleDoesNotStopTheNextRun()
    {
        TestApp app;
        app.form1->allpush();
        QVERIFY(app.ctx.m.pauseFlag);
        queueCopies(app, 3);
        app.form1->main_strat();
        QCOMPARE(app.engine.performed.size(), 3);
        QVERIFY(!app.ctx.m.pauseFlag);
    }

    void aRowWithAnUnknownModeIsNeverPerformed()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCut));
        app.ctx.queue.appendTask(task(QStringLiteral("/b"), QStringLiteral("移动")));
        app.ctx.queue.appendTask(task(QStringLiteral("/c"), Texts::ModeCopy));
        app.form1->main_strat();
        QCOMPARE(performedSources(app), (QStringList {QStringLiteral("/a"), QStringLiteral("/c")}));
        // It stays queued with the reason, not gone as if it had been done.
        QCOMPARE(app.ctx.queue.count(), 1);
        QVERIFY(!app.ctx.queue.outcomeMark(0).isEmpty());
    }

    void anEmptyQueueRunsNothingAndEndsCleanly()
    {
        TestApp app;
        app.form1->main_strat();
        QCOMPARE(app.engine.performed.size(), 0);
        QVERIFY(app.form1->ProgressBar1->isHidden());
        QCOMPARE(app.form1->Label1->text(), Texts::Banner);
        QCOMPARE(app.ctx.summary.text(1), QStringLiteral("复制的文件有0个"));
        QVERIFY(!app.form1->use.main_strat->isChecked());
    }

    void startingAgainDuringARunDoesNotStartASecondRun()
    {
        TestApp app;
        queueCopies(app, 2);
        app.engine.onPerform = [&](const FileOpRecord &) {
            app.form1->use.main_strat->trigger();
            app.form1->syswork.allstart->trigger();
        };
        app.form1->main_strat();
        QCOMPARE(app.engine.performed.size(), 2);
        QCOMPARE(app.ctx.queue.count(), 0);
    }

    void aRowRemovedDuringTheRunIsSkippedAndNoOtherTakesItsPlace()
    {
        TestApp app;
        queueCopies(app, 3);
        app.engine.onPerform = [&](const FileOpRecord &op) {
            if (op.pFrom == QStringLiteral("/src/f1")) {
                app.form1->ListView1_ItemClick(1);
                app.form1->moveRow();
            }
        };
        app.form1->main_strat();
        QCOMPARE(performedSources(app), (QStringList {QStringLiteral("/src/f1"), QStringLiteral("/src/f3")}));
        QCOMPARE(app.ctx.queue.count(), 0);
        QCOMPARE(app.ctx.queue.counters().totalCount, 0);
    }

    void rowsAddedDuringTheRunArePerformedByIt()
    {
        TestApp app;
        app.ctx.m.defaultDest = QStringLiteral("/d/");
        app.form1->syswork.st_mode->trigger();
        queueCopies(app, 2);
        app.engine.onPerform = [&](const FileOpRecord &op) {
            if (op.pFrom == QStringLiteral("/src/f1"))
                dropPaths(app.form3, {QStringLiteral("/late")});
        };
        QList<int> maxima;
        app.yield.onYield = [&] {
            if (maxima.isEmpty() || maxima.last() != app.form1->ProgressBar1->maximum())
                maxima << app.form1->ProgressBar1->maximum();
        };
        app.form1->main_strat();
        QCOMPARE(performedSources(app),
                 (QStringList {QStringLiteral("/src/f1"), QStringLiteral("/src/f2"), QStringLiteral("/late")}));
        QCOMPARE(maxima, (QList<int> {2, 3}));
        QCOMPARE(app.ctx.queue.count(), 0);
    }

    void aRecordChangedDuringTheYieldDoesNotChangeTheTask()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/keep"), Texts::ModeCopy, QStringLiteral("/to/")));
        // Another handler (an immediate start) fills the shared record while
        // the runner lets the event loop run.
        app.yield.onYield = [&] {
            app.ctx.m.fileOp.wFunc = FileOpCode::Delete;
            app.ctx.m.fileOp.fFlags = 0x50;
            app.ctx.m.fileOp.pTo = QStringLiteral("/elsewhere/");
        };
        app.form1->main_strat();
        QCOMPARE(app.engine.performed.size(), 1);
        QCOMPARE(app.engine.performed[0].wFunc, quint32(2));
        QCOMPARE(app.engine.performed[0].fFlags, quint16(0x240));
        QCOMPARE(app.engine.performed[0].pTo, QStringLiteral("/to/"));
        QCOMPARE(app.engine.performed[0].pFrom, QStringLiteral("/keep"));
    }

    void closingDuringARunCancelsTheOperationAndUnwinds()
    {
        TestApp app;
        queueCopies(app, 3);
        dropPaths(app.form3, {QStringLiteral("/x"), QStringLiteral("/y")}); // candidates present
        app.engine.onPerform = [&](const FileOpRecord &op) {
            if (op.pFrom == QStringLiteral("/src/f1"))
                app.form1->syswork.close->trigger();
        };
        app.dialogs.expectYesNo(RunTexts::ExitWhileRunning + RunTexts::ExitWithQueued.arg(3) + RunTexts::ExitConfirm,
                                Texts::TitleKorvan, UserDialogs::Answer::Yes);
        app.form1->main_strat();
        VERIFY_DIALOGS(app.dialogs);
        QCOMPARE(app.engine.cancelRequests, 1);
        QCOMPARE(performedSources(app), (QStringList {QStringLiteral("/src/f1")}));
        QVERIFY(app.ctx.m.exitAllowed);
        QVERIFY(app.form1->isHidden());
        QVERIFY(app.form3->isHidden());
        QCOMPARE(app.ctx.candidates.count(), 0);
        QVERIFY(app.form7->isHidden());
        QCOMPARE(app.ctx.busyDepth, 0);
    }

    void startingWhileAnImmediateOperationRunsKeepsTheQueue()
    {
        TestApp app;
        queueCopies(app, 3);
        const QList<int> before = counters(app);
        Form4 &f = *app.form4;
        f.show();
        f.Text1->setText(QStringLiteral("/now"));
        f.Combo1->setCurrentText(QStringLiteral("/to/"));
        f.Option1->click();
        // While the immediate operation runs, "全部开始" from either menu.
        bool triggered = false;
        app.engine.onPerform = [&](const FileOpRecord &) {
            if (triggered)
                return;
            triggered = true;
            app.form1->syswork.allstart->trigger();
            app.form1->use.main_strat->trigger();
        };
        app.dialogs.expectMessage(Texts::EngineBusyForRun, Texts::TitleKorvan);
        app.dialogs.expectMessage(Texts::EngineBusyForRun, Texts::TitleKorvan);
        f.Command5->click();
        VERIFY_DIALOGS(app.dialogs);
        QCOMPARE(performedSources(app), QStringList {QStringLiteral("/now")});
        QCOMPARE(app.engine.refused, 0);
        QCOMPARE(app.ctx.queue.count(), 3);
        QCOMPARE(counters(app), before);
        QVERIFY(!app.form1->use.main_strat->isChecked());
        QVERIFY(!app.form1->syswork.allstart->isChecked());

        // Once it is over, the kept queue runs as usual.
        app.form1->main_strat();
        QCOMPARE(app.engine.performed.size(), 4);
        QCOMPARE(app.ctx.queue.count(), 0);
    }

    void aTaskTheEngineRefusesStaysQueued()
    {
        TestApp app;
        queueCopies(app, 3);
        // Another operation takes the engine after the first task.
        app.yield.onYield = [&] { app.engine.busy = app.engine.performed.size() == 1; };
        app.dialogs.expectMessage(Texts::EngineBusyDuringRun, Texts::TitleKorvan);
        app.form1->main_strat();
        VERIFY_DIALOGS(app.dialogs);
        QCOMPARE(performedSources(app), QStringList {QStringLiteral("/src/f1")});
        QCOMPARE(app.engine.refused, 0);
        QCOMPARE(app.ctx.queue.count(), 2);
        QCOMPARE(app.ctx.queue.task(0).sourcePath, QStringLiteral("/src/f2"));
        QCOMPARE(counters(app), (QList<int> {2, 0, 0, 2}));
        QCOMPARE(app.form1->Label1->text(), Texts::Banner);
        QVERIFY(app.form1->ProgressBar1->isHidden());
        QVERIFY(!app.form1->use.main_strat->isChecked());
        QCOMPARE(app.form3->faceText(), QString());
    }

    void theLastPercentageStaysOnTheFaceWhileTheNextTaskRuns()
    {
        TestApp app;
        queueCopies(app, 3);
        QStringList facesWhilePerforming;
        app.engine.onPerform = [&](const FileOpRecord &) { facesWhilePerforming << app.form3->faceText(); };
        app.form1->main_strat();
        QCOMPARE(facesWhilePerforming, (QStringList {QString(), QStringLiteral(" 33％"), QStringLiteral(" 67％")}));
        QCOMPARE(app.form3->faceText(), QString());
    }

    void theCountLeftFollowsRowsRemovedOrClearedDuringTheRun()
    {
        TestApp app;
        queueCopies(app, 4);
        QStringList captions;
        app.yield.onYield = [&] {
            const QString caption = app.form1->Label1->text();
            if (captions.isEmpty() || captions.last() != caption)
                captions << caption;
        };
        app.engine.onPerform = [&](const FileOpRecord &op) {
            if (op.pFrom == QStringLiteral("/src/f1")) {
                // The task just performed goes.
                app.form1->ListView1_ItemClick(0);
                app.form1->moveRow();
            } else if (op.pFrom == QStringLiteral("/src/f2")) {
                app.form1->use.allclear->trigger();
            }
        };
        app.form1->main_strat();
        QCOMPARE(captions,
                 (QStringList {QStringLiteral("已考1个文件还剩3个文件"), QStringLiteral("已考2个文件还剩2个文件"),
                               QStringLiteral("已考3个文件还剩0个文件"), QStringLiteral("已考4个文件还剩0个文件")}));
        QCOMPARE(performedSources(app), (QStringList {QStringLiteral("/src/f1"), QStringLiteral("/src/f2")}));
    }
};

QTEST_MAIN(TestQueueRunner)
#include "tst_queue_runner.moc"
