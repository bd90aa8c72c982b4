#include "add_task_fixture.h"
#include "dialogs/add_task_dialog.h"
#include "dialogs/directory_pickers.h"
#include "panel/panel_window.h"
#include "support/pickers.h"
#include "support/test_app.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

// What the add-task dialog commits: "下一个" with an immediate start, and
// sources already in the queue asked about again.
class TestAddTaskCommit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void nextWithImmediateChosenQueuesAndGoesBackToManual()
    {
        TestApp app;
        Form4 &f = filledDialog(app);
        f.Option1->click();
        f.Command6->click();

        QVERIFY(app.engine.performed.isEmpty());
        QCOMPARE(app.ctx.queue.count(), 1);
        QCOMPARE(app.ctx.queue.task(0).sourcePath, kSong);
        QCOMPARE(f.StartMode, QStringLiteral("手动"));
        QVERIFY(f.Option2->isChecked());
        // Ready for the next path, with the same destination and remark.
        QVERIFY(f.isVisible());
        QVERIFY(f.Text1->text().isEmpty());
        QVERIFY(f.Text3->text().isEmpty());
        QCOMPARE(f.Combo1->currentText(), kBackup);
        QCOMPARE(f.Text4->text(), QStringLiteral("周末"));
        QVERIFY(f.Option3->isChecked());

        app.dialogs.expectMessage(kMissingForQueue);
        f.Command6->click();
        QCOMPARE(app.ctx.queue.count(), 1);
        VERIFY_DIALOGS(app.dialogs);
    }

    void immediateStartPerformsWithTheModesSettings_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<quint32>("wFunc");
        QTest::addColumn<quint16>("fFlags");
        QTest::addColumn<QString>("pTo");
        QTest::newRow("复制") << kCopy << quint32(2) << quint16(0x240) << kBackup;
        QTest::newRow("剪贴") << kCut << quint32(1) << quint16(0x250) << kBackup;
        // A delete leaves the destination of the last operation in the record.
        QTest::newRow("删除") << kDelete << quint32(3) << quint16(0x50) << QStringLiteral("/earlier/");
    }

    void immediateStartPerformsWithTheModesSettings()
    {
        QFETCH(QString, mode);
        QFETCH(quint32, wFunc);
        QFETCH(quint16, fFlags);
        QFETCH(QString, pTo);
        TestApp app;
        app.ctx.m.fileOp.pTo = QStringLiteral("/earlier/");
        app.ctx.queue.appendTask(queuedTask(QStringLiteral("/other"), kCopy));
        const QList<int> before = counts(app);
        Form4 &f = filledDialog(app);
        app.form1->setDefaultMode(mode);
        f.Option1->click();
        f.Command5->click();

        QCOMPARE(app.engine.performed.size(), 1);
        const FileOpRecord &op = app.engine.performed.first();
        QCOMPARE(op.wFunc, wFunc);
        QCOMPARE(op.fFlags, fFlags);
        QCOMPARE(op.pFrom, kSong);
        QCOMPARE(op.pTo, pTo);
        QCOMPARE(app.ctx.m.fileOp.pFrom, kSong);
        // Never queued, never counted.
        QCOMPARE(app.ctx.queue.count(), 1);
        QCOMPARE(counts(app), before);
        QVERIFY(f.isHidden());
        VERIFY_DIALOGS(app.dialogs);
    }

    void immediateStartWithoutDestinationOpensThePicker()
    {
        TestApp app;
        Form4 &f = filledDialog(app, kSong, QString());
        f.Option1->click();
        app.dialogs.expectMessage(kMissingForNow);
        expectDestinationChosen(app.dialogs, QStringLiteral("/srv/share"));
        f.Command5->click();

        QVERIFY(app.engine.performed.isEmpty());
        QVERIFY(f.isVisible());
        QCOMPARE(f.Combo1->currentText(), QStringLiteral("/srv/share/"));
        QCOMPARE(app.ctx.m.defaultDest, QStringLiteral("/srv/share/"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void immediateStartWaitsForTheOperationAlreadyRunning()
    {
        TestApp app;
        Form4 &f = filledDialog(app);
        f.Option1->click();
        int nested = 0;
        app.engine.onPerform = [&](const FileOpRecord &) {
            // A second "确定" while the first operation is still going.
            if (nested++ == 0) {
                f.show();
                f.Command5->click();
            }
        };
        app.dialogs.expectMessage(QStringLiteral("正在执行其他文件操作，请等它完成后再立即执行！"));
        f.Command5->click();
        QCOMPARE(app.engine.performed.size(), 1);
        VERIFY_DIALOGS(app.dialogs);
    }

    void queuedSourceAnsweredYesReentersAtTheEnd_data()
    {
        QTest::addColumn<bool>("next");
        QTest::newRow("确定") << false;
        QTest::newRow("下一个") << true;
    }

    void queuedSourceAnsweredYesReentersAtTheEnd()
    {
        QFETCH(bool, next);
        TestApp app;
        app.ctx.queue.appendTask(queuedTask(kSong, kCopy));
        app.ctx.queue.appendTask(queuedTask(QStringLiteral("/b"), kCut));
        const QList<int> before = counts(app);
        Form4 &f = filledDialog(app);
        app.dialogs.expectYesNo(alreadyQueued(kSong), kTitleSays, Answer::Yes);
        (next ? f.Command6 : f.Command5)->click();

        QCOMPARE(app.ctx.queue.count(), 2);
        QCOMPARE(app.ctx.queue.task(0).sourcePath, QStringLiteral("/b"));
        QCOMPARE(app.ctx.queue.task(1).sourcePath, kSong);
        QCOMPARE(app.ctx.queue.task(1).destination, kBackup);
        QCOMPARE(counts(app), before);
        VERIFY_DIALOGS(app.dialogs);
    }

    void queuedSourceAnsweredNoAddsNothing()
    {
        TestApp app;
        app.ctx.queue.appendTask(queuedTask(kSong, kCopy));
        Form4 &f = filledDialog(app);

        app.dialogs.expectYesNo(alreadyQueued(kSong), kTitleSays, Answer::No);
        f.Command6->click();
        QCOMPARE(app.ctx.queue.count(), 1);
        QVERIFY(f.isVisible());
        QVERIFY(f.Text1->text().isEmpty());
        QVERIFY(f.Text3->text().isEmpty());

        f.Text1->setText(kSong);
        app.dialogs.expectYesNo(alreadyQueued(kSong), kTitleSays, Answer::No);
        f.Command5->click();
        QCOMPARE(app.ctx.queue.count(), 1);
        QVERIFY(f.isHidden());
        QCOMPARE(app.ctx.queue.task(0).destination, QStringLiteral("/old/"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void queuedSourceAnsweredYesWithoutDestinationIsDroppedFromTheQueue_data()
    {
        queuedSourceAnsweredYesReentersAtTheEnd_data();
    }

    void queuedSourceAnsweredYesWithoutDestinationIsDroppedFromTheQueue()
    {
        QFETCH(bool, next);
        TestApp app;
        app.ctx.queue.appendTask(queuedTask(kSong, kCut));
        Form4 &f = filledDialog(app, kSong, QString());
        app.dialogs.expectYesNo(alreadyQueued(kSong), kTitleSays, Answer::Yes);
        app.dialogs.expectMessage(kMissingForQueue);
        (next ? f.Command6 : f.Command5)->click();

        QCOMPARE(app.ctx.queue.count(), 0);
        QCOMPARE(counts(app), (QList<int> {0, 0, 0, 0}));
        QVERIFY(f.isVisible());
        QCOMPARE(f.Text1->text(), kSong);
        VERIFY_DIALOGS(app.dialogs);
    }

    void aPathArrivingWhileAskingIsNotQueuedUnchecked()
    {
        TestApp app;
        app.ctx.queue.appendTask(queuedTask(kSong, kCopy));
        Form4 &f = filledDialog(app);
        app.dialogs.onAsk = [&](const ScriptedDialogs::Question &) {
            f.Text1->setText(QStringLiteral("/home/ann/other.txt"));
        };
        app.dialogs.expectYesNo(alreadyQueued(kSong), kTitleSays, Answer::No);
        f.Command5->click();
        // The dialog now shows another path: nothing is added for it
        // unchecked, and the dialog stays for the user to decide.
        QCOMPARE(app.ctx.queue.count(), 1);
        QVERIFY(f.isVisible());
        QCOMPARE(f.Text1->text(), QStringLiteral("/home/ann/other.txt"));
        VERIFY_DIALOGS(app.dialogs);
    }
};

QTEST_MAIN(TestAddTaskCommit)
#include "tst_add_task_commit.moc"
