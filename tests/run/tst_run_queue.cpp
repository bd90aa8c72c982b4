// The queue run without any window: which tasks it performs, in which
// order, what it leaves queued, and the account it keeps.
#include "model/module1.h"
#include "model/move_queue.h"
#include "model/summary_list.h"
#include "model/texts.h"
#include "run/queue_runner.h"
#include "run/run_outcomes.h"
#include "run/run_texts.h"
#include "run/task_performer.h"
#include "support/fakes.h"
#include "support/scripted_dialogs.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

FileOpResult ended(FileOpResult::Status status, const QString &message = QString())
{
    FileOpResult r;
    r.status = status;
    r.message = message;
    return r;
}

// The run on doubles: the queue, the shared state, the seams and the runner.
struct Run
{
    ScriptedDialogs dialogs;
    ScriptedFileOperation engine;
    HookYield yield;
    Services svc {&dialogs, &engine, nullptr, nullptr, nullptr, &yield};
    SummaryList summary;
    MoveQueue queue {&summary};
    Module1 m;
    RunOutcomes outcomes;
    TaskPerformer performer {&engine, outcomes};
    QueueRunner runner {queue, m, svc, performer};

    void add(const QString &path, const QString &mode = Texts::ModeCopy)
    {
        MoveTask t;
        t.name = path.section(u'/', -1);
        t.sourcePath = path;
        t.destination = QStringLiteral("/dest/");
        t.mode = mode;
        queue.appendTask(t);
    }
    QStringList performed() const
    {
        QStringList out;
        for (const FileOpRecord &op : engine.performed)
            out << op.pFrom;
        return out;
    }
    QStringList queued() const
    {
        QStringList out;
        for (int i = 0; i < queue.count(); ++i)
            out << queue.task(i).sourcePath;
        return out;
    }
};

} // namespace

class TestRunQueue : public QObject
{
    Q_OBJECT

private slots:
    void rowsQueuedDuringTheRunArePerformedByIt()
    {
        Run run;
        run.add(QStringLiteral("/f1"));
        run.add(QStringLiteral("/f2"));
        QList<QPair<int, int>> started;
        connect(&run.runner, &QueueRunner::taskStarted, this, [&](int i, int left) { started.append({i, left}); });
        QSignalSpy grew(&run.runner, &QueueRunner::runGrew);
        run.engine.onPerform = [&](const FileOpRecord &op) {
            if (op.pFrom == QStringLiteral("/f1"))
                run.add(QStringLiteral("/late1"));
            if (op.pFrom == QStringLiteral("/f2"))
                run.add(QStringLiteral("/late2")); // queued while the run's last task runs
        };
        run.runner.run();
        QCOMPARE(run.performed(),
                 (QStringList {QStringLiteral("/f1"), QStringLiteral("/f2"), QStringLiteral("/late1"),
                               QStringLiteral("/late2")}));
        QCOMPARE(started, (QList<QPair<int, int>> {{1, 1}, {2, 1}, {3, 1}, {4, 0}}));
        QCOMPARE(grew.size(), 2);
        QCOMPARE(grew.last().at(0).toInt(), 4);
        QCOMPARE(run.queue.count(), 0);
        QCOMPARE(run.queue.counters().totalCount, 0);
    }

    void aPauseKeepsEveryTaskNotPerformedInOrder()
    {
        Run run;
        for (int i = 1; i <= 5; ++i)
            run.add(QStringLiteral("/f%1").arg(i));
        run.engine.onPerform = [&](const FileOpRecord &op) {
            if (op.pFrom == QStringLiteral("/f2"))
                run.m.pauseFlag = true;
        };
        QSignalSpy finished(&run.runner, &QueueRunner::runFinished);
        run.runner.run();
        QCOMPARE(run.performed(), (QStringList {QStringLiteral("/f1"), QStringLiteral("/f2")}));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(run.queued(), (QStringList {QStringLiteral("/f3"), QStringLiteral("/f4"), QStringLiteral("/f5")}));
        QCOMPARE(run.queue.counters().copyCount, 3);
        QCOMPARE(run.summary.text(4), QStringLiteral("共要移动的文件个数有3个"));

        // The next run performs them.
        run.engine.onPerform = {};
        run.runner.run();
        QCOMPARE(run.performed().mid(2),
                 (QStringList {QStringLiteral("/f3"), QStringLiteral("/f4"), QStringLiteral("/f5")}));
        QCOMPARE(run.queue.count(), 0);
    }

    void onlyTheTasksThatSucceededLeaveTheQueue_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("leaves");
        QTest::addColumn<QString>("word");
        QTest::newRow("done") << int(FileOpResult::Status::Done) << true << RunTexts::OutcomeDone;
        QTest::newRow("skipped items") << int(FileOpResult::Status::Skipped) << true << RunTexts::OutcomeSkipped;
        QTest::newRow("failed") << int(FileOpResult::Status::Failed) << false << RunTexts::OutcomeFailed;
        QTest::newRow("cancelled") << int(FileOpResult::Status::Cancelled) << false << RunTexts::OutcomeCancelled;
    }
    void onlyTheTasksThatSucceededLeaveTheQueue()
    {
        QFETCH(int, status);
        QFETCH(bool, leaves);
        QFETCH(QString, word);
        Run run;
        run.add(QStringLiteral("/ok1"));
        run.add(QStringLiteral("/this"), Texts::ModeCut);
        run.add(QStringLiteral("/ok2"));
        const QString reason = QStringLiteral("复制“/this”失败：设备上没有空间");
        run.engine.resultFor.insert(QStringLiteral("/this"), ended(FileOpResult::Status(status), reason));
        QSignalSpy closed(&run.outcomes, &RunOutcomes::accountClosed);
        run.runner.run();

        QCOMPARE(run.queued(), leaves ? QStringList() : QStringList {QStringLiteral("/this")});
        QCOMPARE(run.queue.counters().cutCount, leaves ? 0 : 1);
        QCOMPARE(run.queue.counters().copyCount, 0);
        if (!leaves) {
            const QModelIndex row = run.queue.index(0, 0);
            QCOMPARE(run.queue.data(row, MoveQueue::OutcomeRole).toInt(), status);
            QVERIFY(run.queue.data(row, Qt::AccessibleDescriptionRole).toString().contains(reason));
            QVERIFY(run.queue.data(row, Qt::ToolTipRole).toString().contains(word));
        }
        // The account: one entry per task, in order, closed once.
        QCOMPARE(closed.size(), 1);
        QCOMPARE(run.outcomes.outcomes().size(), 3);
        QCOMPARE(run.outcomes.outcomes().at(1).source, QStringLiteral("/this"));
        QCOMPARE(int(run.outcomes.outcomes().at(1).result.status), status);
        QCOMPARE(run.outcomes.needsShowing(), status != int(FileOpResult::Status::Done));
        QVERIFY(run.outcomes.text().contains(u'【' + word + u'】'));

        // "全部开始" again retries what stayed; then it is done and goes.
        run.engine.resultFor.clear();
        run.runner.run();
        QCOMPARE(run.queue.count(), 0);
        QCOMPARE(run.queue.counters().totalCount, 0);
    }

    void aTaskWithAnUnknownModeStaysMarkedUnperformed()
    {
        Run run;
        run.add(QStringLiteral("/a"));
        run.add(QStringLiteral("/b"), QStringLiteral("移动"));
        run.runner.run();
        QCOMPARE(run.performed(), QStringList {QStringLiteral("/a")});
        QCOMPARE(run.queued(), QStringList {QStringLiteral("/b")});
        QVERIFY(run.queue.outcomeMark(0).contains(RunTexts::UnknownMode.arg(QStringLiteral("移动"))));
    }

    void theAccountKeepsItemsAndNotesWithinItsBound()
    {
        Run run;
        run.add(QStringLiteral("/tree"));
        FileOpResult partly = ended(FileOpResult::Status::Skipped, QStringLiteral("跳过了 1002 项。"));
        for (int i = 0; i < FileOpResult::MaxRecorded + 2; ++i)
            partly.addItem(QStringLiteral("/tree/<b>%1</b>").arg(i), QStringLiteral("读取：权限不够"));
        partly.addNote(QStringLiteral("目标不允许保留扩展属性，例如“/dest/tree/x”"));
        run.engine.result = partly;
        run.runner.run();

        const FileOpResult &kept = run.outcomes.outcomes().value(0).result;
        QCOMPARE(kept.items.size(), FileOpResult::MaxRecorded);
        QCOMPARE(kept.itemCount, FileOpResult::MaxRecorded + 2);
        const QString text = run.outcomes.text();
        QVERIFY(text.contains(QStringLiteral("/tree/<b>0</b>（读取：权限不够）"))); // names stay as they are
        QVERIFY(text.contains(RunTexts::MoreItems.arg(2)));
        QVERIFY(text.contains(QStringLiteral("扩展属性")));
        QVERIFY(run.outcomes.needsShowing());
        QCOMPARE(run.queue.count(), 0); // skipped items are the user's choice: the task is done
    }

    void theSummaryLineCountsWhatSucceeded()
    {
        Run run;
        run.add(QStringLiteral("/a"));
        run.add(QStringLiteral("/b"));
        run.add(QStringLiteral("/c"));
        run.runner.run();
        QCOMPARE(run.outcomes.summaryLine(), RunTexts::AllDone.arg(3));
        QVERIFY(!run.outcomes.needsShowing());

        run.add(QStringLiteral("/a"));
        run.add(QStringLiteral("/b"));
        run.engine.resultFor.insert(QStringLiteral("/b"), ended(FileOpResult::Status::Failed, QStringLiteral("x")));
        run.runner.run();
        QCOMPARE(run.outcomes.summaryLine(), RunTexts::SomeNotDone.arg(2).arg(1).arg(1));
        QCOMPARE(run.outcomes.failedCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRunQueue)
#include "tst_run_queue.moc"
