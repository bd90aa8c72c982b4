#include "candidates/candidate_window.h"
#include "dialogs/add_task_dialog.h"
#include "model/texts.h"
#include "panel/panel_window.h"
#include "support/drops.h"
#include "support/pickers.h"
#include "support/test_app.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QtTest>

class TestPanelMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void defaultsCannotBeSwitchedOnWithoutADestination()
    {
        TestApp app;
        app.dialogs.expectMessage(QStringLiteral("没有默认的目地地址 请输入目地地址！"), QStringLiteral("Korvan"));
        app.form1->syswork.st_mode->trigger();
        QVERIFY(!app.form1->syswork.st_mode->isChecked());

        expectDestinationChosen(app.dialogs, QStringLiteral("/home/u/备份"));
        app.form1->syswork.updatedisk->trigger();
        QCOMPARE(app.ctx.m.defaultDest, QStringLiteral("/home/u/备份/"));
        app.form1->syswork.st_mode->trigger();
        QVERIFY(app.form1->syswork.st_mode->isChecked());
        app.form1->syswork.st_mode->trigger();
        QVERIFY(!app.form1->syswork.st_mode->isChecked());

        // With no mode, the mode message; the destination is tested first.
        app.ctx.m.defaultMode.clear();
        app.dialogs.expectMessage(QStringLiteral("没有默认的移动方式 请输入移动方式！"), QStringLiteral("Korvan"));
        app.form1->syswork.st_mode->trigger();
        QVERIFY(!app.form1->syswork.st_mode->isChecked());
        app.ctx.m.defaultDest.clear();
        app.dialogs.expectMessage(QStringLiteral("没有默认的目地地址 请输入目地地址！"), QStringLiteral("Korvan"));
        app.form1->syswork.st_mode->trigger();
        VERIFY_DIALOGS(app.dialogs);
    }

    void cancellingThePickerLeavesTheDefaultDestination()
    {
        TestApp app;
        app.ctx.m.defaultDest = QStringLiteral("/old/");
        expectDestinationCancelled(app.dialogs);
        app.form1->syswork.updatedisk->trigger();
        QCOMPARE(app.ctx.m.defaultDest, QStringLiteral("/old/"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void theDefaultModeMarksFollowTheChoiceAndQueuedRowsKeepTheirs()
    {
        TestApp app;
        MoveTask t;
        t.sourcePath = QStringLiteral("/a");
        t.mode = Texts::ModeCopy;
        app.ctx.queue.appendTask(t);
        app.form1->syswork.upcut->trigger();
        QCOMPARE(app.ctx.m.defaultMode, QStringLiteral("剪贴"));
        QVERIFY(!app.form1->syswork.upcopy->isChecked());
        QVERIFY(app.form1->syswork.upcut->isChecked());
        QVERIFY(!app.form1->syswork.updele->isChecked());
        // Choosing the checked entry again keeps it checked.
        app.form1->syswork.upcut->trigger();
        QVERIFY(app.form1->syswork.upcut->isChecked());
        app.form1->syswork.updele->trigger();
        QCOMPARE(app.ctx.m.defaultMode, QStringLiteral("删除"));
        QVERIFY(!app.form1->syswork.upcut->isChecked());
        QCOMPARE(app.ctx.queue.task(0).mode, Texts::ModeCopy);
    }

    void pauseFromEitherMenuClearsBothRunningMarks()
    {
        TestApp app;
        Form1::setMark(app.form1->use.main_strat, true);
        Form1::setMark(app.form1->syswork.allstart, true);
        app.form1->syswork.allpush->trigger();
        QVERIFY(!app.form1->use.main_strat->isChecked());
        QVERIFY(!app.form1->syswork.allstart->isChecked());
        QVERIFY(app.ctx.m.pauseFlag);
    }

    void theToggleEntryAndADoubleClickShowAndHideTheMainWindow()
    {
        TestApp app;
        app.form1->show();
        app.form1->syswork.ocmain->trigger();
        QVERIFY(app.form1->isHidden());
        app.form1->syswork.ocmain->trigger();
        QVERIFY(app.form1->isVisible());
        QTest::mouseDClick(app.form3, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(app.form1->isHidden());
        QTest::mouseDClick(app.form3, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(app.form1->isVisible());
        app.form1->showMinimized();
        QTRY_VERIFY(app.form1->isHidden());
        QTest::mouseDClick(app.form3, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(app.form1->isVisible());
        QVERIFY(!app.form1->isMinimized());
    }

    void aRightClickOnThePanelPopsUpThePanelMenu()
    {
        TestApp app;
        bool shown = false;
        QTimer::singleShot(50, app.form1, [&] {
            shown = app.form1->syswork.menu->isVisible();
            app.form1->syswork.menu->close();
        });
        QTest::mousePress(app.form3, Qt::RightButton, {}, QPoint(10, 10));
        QVERIFY(shown);
    }

    void newTaskClearsTheSourceAndShowsTheDefaultMode()
    {
        TestApp app;
        Form4 *dialog = app.form4;
        dialog->Text1->setText(QStringLiteral("/old"));
        dialog->Text3->setText(QStringLiteral("old"));
        dialog->Text4->setText(QStringLiteral("remark"));
        app.form1->syswork.crnew->trigger();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->Text1->text(), QString());
        QCOMPARE(dialog->Text3->text(), QString());
        QVERIFY(dialog->Option3->isChecked());
        QCOMPARE(dialog->Text4->text(), QStringLiteral("remark"));
        QCOMPARE(app.ctx.m.defaultMode, QStringLiteral("复制"));
    }

    void theDefaultBoxAndTheDefaultsMarkAreOneSwitch()
    {
        TestApp app;
        Form4 *dialog = app.form4;
        app.ctx.m.defaultDest = QStringLiteral("/backup/");
        dialog->Check1->click();
        // The mark shows the defaults the box put in force ...
        QVERIFY(app.form1->syswork.st_mode->isChecked());
        // ... and switching them off there ends them: a drop asks again.
        app.form1->syswork.st_mode->trigger();
        QVERIFY(!dialog->Check1->isChecked() && !app.ctx.m.useDefaults);
        dropPaths(app.form3, {QStringLiteral("/m/a.txt")});
        QVERIFY(app.ctx.queue.isEmpty() && dialog->isVisible());
        // Switched on from the menu, the box shows it as well.
        app.form1->syswork.st_mode->trigger();
        QVERIFY(dialog->Check1->isChecked());
        VERIFY_DIALOGS(app.dialogs);
    }

    void verifyAfterCopyIsOneSwitchForTheEngine()
    {
        // Off at start; each pick flips the mark and what the engine is told.
        TestApp app;
        QAction *verify = app.form1->syswork.verify;
        QVERIFY(verify->isCheckable());
        QCOMPARE(verify->text(), QStringLiteral("复制后校验"));
        QVERIFY(!verify->isChecked());
        QVERIFY(!app.engine.verifyAfterCopy());
        for (const bool on : {true, false, true}) {
            verify->trigger();
            QCOMPARE(verify->isChecked(), on);
            QCOMPARE(app.engine.verifyAfterCopy(), on);
        }
    }

    void closeEndsTheProgramEvenWithCandidatesPresent()
    {
        TestApp app;
        app.form1->show();
        dropPaths(app.form3, {QStringLiteral("/a"), QStringLiteral("/b")});
        QVERIFY(app.form7->isVisible());
        app.form4->show();
        app.form1->syswork.close->trigger();
        QVERIFY(app.ctx.m.exitAllowed);
        QVERIFY(app.form1->isHidden());
        QVERIFY(app.form4->isHidden());
        QVERIFY(app.form7->isHidden());
        QVERIFY(app.form3->isHidden());
        QCOMPARE(app.ctx.candidates.count(), 0);
        // Nothing is busy, so the program leaves through the main loop.
        QVERIFY(!app.ctx.quitWhenIdle);
    }

    void thePanelRefusesToCloseUntilTheProgramEnds()
    {
        TestApp app;
        QVERIFY(!app.form3->close());
        QVERIFY(app.form3->isVisible());
    }
};

QTEST_MAIN(TestPanelMenu)
#include "tst_panel_menu.moc"
