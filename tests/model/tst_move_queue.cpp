#include "model/candidate_list.h"
#include "model/duplicate_check.h"
#include "model/move_queue.h"
#include "model/size_text.h"
#include "model/task_builder.h"
#include "model/texts.h"
#include "support/fakes.h"
#include "support/scripted_dialogs.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using Answer = UserDialogs::Answer;

namespace {

MoveTask task(const QString &path, const QString &mode)
{
    MoveTask t;
    t.name = pathName(path);
    t.sourcePath = path;
    t.destination = QStringLiteral("/backup/");
    t.mode = mode;
    return t;
}

QStringList summaryTexts(const SummaryList &s)
{
    return {s.text(1), s.text(2), s.text(3), s.text(4)};
}

QStringList running(int copy, int cut, int dele, int all)
{
    return {QStringLiteral("复制的文件有%1个").arg(copy), QStringLiteral("剪贴的文件有%1个").arg(cut),
            QStringLiteral("删除的文件有%1个").arg(dele), QStringLiteral("共要移动的文件个数有%1个").arg(all)};
}

} // namespace

class TestMoveQueue : public QObject
{
    Q_OBJECT

private slots:
    void sizeText_data()
    {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty file") << qint64(0) << QStringLiteral("0");
        QTest::newRow("1023 bytes") << qint64(1023) << QStringLiteral("1.02");
        QTest::newRow("1024 bytes") << qint64(1024) << QStringLiteral("1");
        QTest::newRow("1500 bytes") << qint64(1500) << QStringLiteral("1.48");
        QTest::newRow("2047 bytes beat 2048") << qint64(2047) << QStringLiteral("2.02");
        QTest::newRow("2048 bytes") << qint64(2048) << QStringLiteral("2");
        // 1029 % 1024 = 5 tens of bytes halve: 0.5 goes to the even 0.
        QTest::newRow("half to even down") << qint64(1029) << QStringLiteral("1");
        // 15 bytes: 1.5 goes to the even 2.
        QTest::newRow("half to even up") << qint64(15) << QStringLiteral("0.02");
        QTest::newRow("2 GiB keeps its size") << qint64(2147483648LL) << QStringLiteral("2097152");
        QTest::newRow("5 GiB and a bit") << qint64(5368709120LL + 1500) << QStringLiteral("5242881.48");
    }
    void sizeText()
    {
        QFETCH(qint64, length);
        QFETCH(QString, text);
        QCOMPARE(sizeInK(length), text);
    }

    void nameOfPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("file") << QStringLiteral("/home/u/a b.txt") << QStringLiteral("a b.txt");
        QTest::newRow("no separator") << QStringLiteral("a.txt") << QStringLiteral("a.txt");
        QTest::newRow("root") << QStringLiteral("/") << QString();
        QTest::newRow("trailing separator") << QStringLiteral("/home/u/") << QString();
        QTest::newRow("chinese") << QStringLiteral("/媒体/歌曲.mp3") << QStringLiteral("歌曲.mp3");
    }
    void nameOfPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(pathName(path), name);
    }

    void roundingGoesToEven()
    {
        QCOMPARE(roundHalfEven(2.5), qint64(2));
        QCOMPARE(roundHalfEven(3.5), qint64(4));
        QCOMPARE(roundHalfEven(12.5), qint64(12));
        QCOMPARE(roundHalfEven(37.5), qint64(38));
        QCOMPARE(roundHalfEven(-2.5), qint64(-2));
        QCOMPARE(roundHalfEven(0.49), qint64(0));
    }

    void summaryStartsWithStartupTextsUntilTheFirstChange()
    {
        SummaryList summary;
        MoveQueue queue(&summary);
        QCOMPARE(summaryTexts(summary),
                 (QStringList {QStringLiteral("复制的文件共有0个"), QStringLiteral("剪贴的文件共有0个"),
                               QStringLiteral("删除的文件共有0个"), QStringLiteral("移动文件的总和为0")}));
        QCOMPARE(summary.key(1), QStringLiteral("copy"));
        QCOMPARE(summary.key(4), QStringLiteral("allfile"));

        // The first append of a delete task rewrites all four rows.
        queue.appendTask(task(QStringLiteral("/a"), Texts::ModeDelete));
        QCOMPARE(summaryTexts(summary), running(0, 0, 1, 1));
    }

    void countersFollowEveryOperation()
    {
        SummaryList summary;
        MoveQueue queue(&summary);
        QAbstractItemModelTester tester(&queue, QAbstractItemModelTester::FailureReportingMode::QtTest);
        queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCut));
        queue.appendTask(task(QStringLiteral("/c"), Texts::ModeCopy));
        queue.appendTask(task(QStringLiteral("/d"), QStringLiteral("其他")));
        QCOMPARE(summaryTexts(summary), running(2, 1, 0, 4));
        QCOMPARE(queue.counters().totalCount, 4);

        // A mode change moves one count and leaves the total row alone.
        summary.setText(4, QStringLiteral("untouched"));
        queue.pd_run_mode(0);
        queue.setMode(0, Texts::ModeCut);
        queue.pd2over_run_mode(0);
        QCOMPARE(summary.text(1), QStringLiteral("复制的文件有1个"));
        QCOMPARE(summary.text(2), QStringLiteral("剪贴的文件有2个"));
        QCOMPARE(summary.text(4), QStringLiteral("untouched"));
        // Changing to the same word changes nothing.
        queue.pd_run_mode(1);
        queue.setMode(1, Texts::ModeCut);
        queue.pd2over_run_mode(1);
        QCOMPARE(queue.counters().cutCount, 2);

        // Removing a row with an unknown word lowers the total only.
        queue.removeTask(3);
        QCOMPARE(summaryTexts(summary), running(1, 2, 0, 3));
        queue.removeTask(0);
        QCOMPARE(summaryTexts(summary), running(1, 1, 0, 2));
        QCOMPARE(queue.task(0).sourcePath, QStringLiteral("/b"));

        queue.clearQueue();
        QCOMPARE(queue.count(), 0);
        QCOMPARE(summaryTexts(summary), running(0, 0, 0, 0));
        // Clearing an empty queue still writes the running texts.
        summary.setText(1, QStringLiteral("复制的文件共有0个"));
        queue.clearQueue();
        QCOMPARE(summary.text(1), QStringLiteral("复制的文件有0个"));
    }

    void freeSpaceRowsStayBelowTheSummary()
    {
        SummaryList summary;
        MoveQueue queue(&summary);
        summary.appendRow(QStringLiteral("/:盘原有空间：10GB  可用空间：3906MB"));
        queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        queue.clearQueue();
        QCOMPARE(summary.rowCount(), 5);
        QCOMPARE(summary.text(1), QStringLiteral("复制的文件有0个"));
        QCOMPARE(summary.text(5), QStringLiteral("/:盘原有空间：10GB  可用空间：3906MB"));
    }

    void queueShowsSixTitledColumns()
    {
        SummaryList summary;
        MoveQueue queue(&summary);
        const QStringList titles {QStringLiteral("文件名"),     QStringLiteral("文件大小(K)"),
                                  QStringLiteral("原物理地址"), QStringLiteral("目地地址"),
                                  QStringLiteral("移动方式"),   QStringLiteral("备注")};
        QCOMPARE(queue.columnCount(), 6);
        for (int c = 0; c < 6; ++c)
            QCOMPARE(queue.headerData(c, Qt::Horizontal).toString(), titles.at(c));
        queue.appendTask(task(QStringLiteral("/x/y.txt"), Texts::ModeCopy));
        QCOMPARE(queue.data(queue.index(0, 0)).toString(), QStringLiteral("y.txt"));
        QCOMPARE(queue.data(queue.index(0, 4)).toString(), Texts::ModeCopy);
    }

    void findingAQueuedPathIsExactAndTakesTheFirstRow()
    {
        SummaryList summary;
        MoveQueue queue(&summary);
        queue.appendTask(task(QStringLiteral("/A.TXT"), Texts::ModeCopy));
        queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCopy));
        queue.appendTask(task(QStringLiteral("/A.TXT"), Texts::ModeCut));
        QCOMPARE(queue.findQueued(QStringLiteral("/a.txt")), -1);
        QCOMPARE(queue.findQueued(QStringLiteral("/A.TXT")), 0);
        queue.removeTask(0);
        QCOMPARE(queue.findQueued(QStringLiteral("/A.TXT")), 1);
        QCOMPARE(queue.task(1).mode, Texts::ModeCut);
        queue.clearQueue();
        QCOMPARE(queue.findQueued(QStringLiteral("/A.TXT")), -1);
    }

    void rowReferencesSurviveOtherRowsAndDieWithTheirOwn()
    {
        SummaryList summary;
        MoveQueue queue(&summary);
        queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        const RowRef b = queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCopy));
        queue.appendTask(task(QStringLiteral("/c"), Texts::ModeCopy));
        QCOMPARE(queue.positionOf(b), 1);
        queue.removeTask(0);
        QCOMPARE(queue.positionOf(b), 0);
        queue.removeTask(0);
        QCOMPARE(queue.positionOf(b), -1);
        QCOMPARE(queue.positionOf(NoRow), -1);
    }

    void countersDoNotWrapAtSixteenBits()
    {
        SummaryList summary;
        MoveQueue queue(&summary);
        for (int i = 0; i < 33000; ++i)
            queue.appendTask(task(QStringLiteral("/f%1").arg(i), Texts::ModeCopy));
        QCOMPARE(queue.counters().totalCount, 33000);
        QCOMPARE(summary.text(4), QStringLiteral("共要移动的文件个数有33000个"));
        QCOMPARE(queue.findQueued(QStringLiteral("/f32999")), 32999);
    }

    void duplicateInTheQueueAnsweredYesRequeues()
    {
        SummaryList summary;
        MoveQueue queue(&summary);
        ScriptedDialogs dialogs;
        HookYield yield;
        queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCut));
        dialogs.expectYesNo(QStringLiteral("/a已在队列中,是否重新进入队列？"), QStringLiteral("Korvan说"), Answer::Yes);
        QCOMPARE(checkQueueDuplicate(queue, QStringLiteral("/a"), dialogs, yield), DuplicateOutcome::Replaced);
        QCOMPARE(queue.count(), 1);
        QCOMPARE(summaryTexts(summary), running(0, 1, 0, 1));
        QVERIFY(yield.count >= 1);
        VERIFY_DIALOGS(dialogs);
    }

    void duplicateInTheQueueAnsweredNoKeepsTheRow()
    {
        SummaryList summary;
        MoveQueue queue(&summary);
        ScriptedDialogs dialogs;
        HookYield yield;
        queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        dialogs.expectYesNo(QStringLiteral("/a已在队列中,是否重新进入队列？"), QStringLiteral("Korvan说"), Answer::No);
        QCOMPARE(checkQueueDuplicate(queue, QStringLiteral("/a"), dialogs, yield), DuplicateOutcome::Declined);
        QCOMPARE(queue.count(), 1);
        QCOMPARE(queue.counters().copyCount, 1);
        // A path that differs only in case is not a duplicate: no question.
        QCOMPARE(checkQueueDuplicate(queue, QStringLiteral("/A"), dialogs, yield), DuplicateOutcome::NotFound);
        VERIFY_DIALOGS(dialogs);
    }

    void rowRemovedWhileTheQuestionIsOpenIsNotRemovedTwice()
    {
        SummaryList summary;
        MoveQueue queue(&summary);
        ScriptedDialogs dialogs;
        HookYield yield;
        queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCopy));
        // While the box is open the user clears the queue and queues /b again.
        dialogs.onAsk = [&](const ScriptedDialogs::Question &) {
            queue.clearQueue();
            queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCut));
        };
        dialogs.expectYesNo(QStringLiteral("/a已在队列中,是否重新进入队列？"), QStringLiteral("Korvan说"), Answer::Yes);
        QCOMPARE(checkQueueDuplicate(queue, QStringLiteral("/a"), dialogs, yield), DuplicateOutcome::Replaced);
        QCOMPARE(queue.count(), 1);
        QCOMPARE(queue.task(0).sourcePath, QStringLiteral("/b"));
        QCOMPARE(queue.counters().totalCount, 1);
        VERIFY_DIALOGS(dialogs);
    }

    void duplicateCandidateAsksItsOwnQuestion()
    {
        CandidateList candidates;
        QAbstractItemModelTester tester(&candidates, QAbstractItemModelTester::FailureReportingMode::QtTest);
        ScriptedDialogs dialogs;
        HookYield yield;
        FakeFileQueries files;
        files.plainFiles.insert(QStringLiteral("/m/a.mp3"), 1500);
        candidates.append(
            candidateWithDefaults(files, QStringLiteral("/m/a.mp3"), QStringLiteral("/d/"), Texts::ModeCopy));
        candidates.append(
            candidateWithDefaults(files, QStringLiteral("/m/b"), QStringLiteral("/d/"), Texts::ModeDelete));
        QCOMPARE(candidates.at(0).sizeK, QStringLiteral("1.48"));
        QVERIFY(candidates.at(0).ticked);
        QCOMPARE(candidates.at(1).destination, QStringLiteral("回收站"));
        QCOMPARE(candidates.at(1).sizeK, QString());
        QCOMPARE(candidates.headerData(4, Qt::Horizontal).toString(), QStringLiteral("移动方式 "));
        QCOMPARE(candidates.data(candidates.index(0, 0), Qt::CheckStateRole).toInt(), int(Qt::Checked));

        dialogs.expectYesNo(QStringLiteral("/m/a.mp3已在候选队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                            Answer::No);
        dialogs.expectYesNo(QStringLiteral("/m/a.mp3已在候选队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                            Answer::Yes);
        QCOMPARE(checkCandidateDuplicate(candidates, QStringLiteral("/m/a.mp3"), dialogs, yield),
                 DuplicateOutcome::Declined);
        QCOMPARE(candidates.count(), 2);
        QCOMPARE(checkCandidateDuplicate(candidates, QStringLiteral("/m/a.mp3"), dialogs, yield),
                 DuplicateOutcome::Replaced);
        QCOMPARE(candidates.count(), 1);
        QCOMPARE(candidates.at(0).sourcePath, QStringLiteral("/m/b"));
        VERIFY_DIALOGS(dialogs);
    }

    void sizeColumnIsEmptyForAnythingButAReadablePlainFile()
    {
        FakeFileQueries files;
        files.plainFiles.insert(QStringLiteral("/f"), 1024);
        files.plainFiles.insert(QStringLiteral("/unreadable"), -1);
        QCOMPARE(sizeTextFor(files, QStringLiteral("/f")), QStringLiteral("1"));
        QCOMPARE(sizeTextFor(files, QStringLiteral("/unreadable")), QString());
        QCOMPARE(sizeTextFor(files, QStringLiteral("/folder")), QString());
        const MoveTask t = taskWithDefaults(files, QStringLiteral("/f"), QStringLiteral("/d/"), Texts::ModeDelete);
        // Queued delete tasks keep the default destination.
        QCOMPARE(t.destination, QStringLiteral("/d/"));
        QCOMPARE(t.name, QStringLiteral("f"));
    }
};

QTEST_GUILESS_MAIN(TestMoveQueue)
#include "tst_move_queue.moc"
