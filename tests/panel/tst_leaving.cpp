// "关闭" while work is pending asks first; the answer No leaves everything going.
#include "model/texts.h"
#include "panel/panel_window.h"
#include "run/run_texts.h"
#include "support/test_app.h"

#include <QAction>
#include <QtTest>

namespace {

void queueCopies(TestApp &app, int n)
{
    for (int i = 1; i <= n; ++i) {
        MoveTask t;
        t.sourcePath = QStringLiteral("/src/f%1").arg(i);
        t.destination = QStringLiteral("/dest/");
        t.mode = Texts::ModeCopy;
        app.ctx.queue.appendTask(t);
    }
}

} // namespace

class TestLeaving : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void closeWithTasksQueuedAsksFirst_data()
    {
        QTest::addColumn<int>("queued");
        QTest::addColumn<int>("answer"); // -1: no question
        QTest::addColumn<bool>("leaves");
        QTest::newRow("nothing pending: no question") << 0 << -1 << true;
        QTest::newRow("queued, No: stays with its queue") << 2 << int(UserDialogs::Answer::No) << false;
        QTest::newRow("queued, Yes: leaves") << 2 << int(UserDialogs::Answer::Yes) << true;
    }
    void closeWithTasksQueuedAsksFirst()
    {
        QFETCH(int, queued);
        QFETCH(int, answer);
        QFETCH(bool, leaves);
        TestApp app;
        queueCopies(app, queued);
        if (answer >= 0)
            app.dialogs.expectYesNo(RunTexts::ExitWithQueued.arg(queued) + RunTexts::ExitConfirm, Texts::TitleKorvan,
                                    UserDialogs::Answer(answer));
        app.form1->syswork.close->trigger();
        VERIFY_DIALOGS(app.dialogs);
        QCOMPARE(app.ctx.m.exitAllowed, leaves);
        QCOMPARE(app.form3->isVisible(), !leaves);
        if (!leaves)
            QCOMPARE(app.ctx.queue.count(), queued);
    }

    void closeAnsweredNoDuringARunLetsTheRunFinish()
    {
        TestApp app;
        queueCopies(app, 3);
        app.engine.onPerform = [&](const FileOpRecord &op) {
            if (op.pFrom == QStringLiteral("/src/f2"))
                app.form1->syswork.close->trigger();
        };
        app.dialogs.expectYesNo(RunTexts::ExitWhileRunning + RunTexts::ExitWithQueued.arg(3) + RunTexts::ExitConfirm,
                                Texts::TitleKorvan, UserDialogs::Answer::No);
        app.form1->main_strat();
        VERIFY_DIALOGS(app.dialogs);
        QCOMPARE(app.engine.cancelRequests, 0);
        QCOMPARE(app.engine.performed.size(), 3);
        QVERIFY(!app.ctx.m.exitAllowed);
        QCOMPARE(app.ctx.queue.count(), 0);
    }

    void theSessionEndingWhileTheQuestionIsOpenDoesNotAskTwice()
    {
        TestApp app;
        queueCopies(app, 1);
        app.dialogs.onAsk = [&](const ScriptedDialogs::Question &) { app.form3->sys_exit(); };
        app.dialogs.expectYesNo(RunTexts::ExitWithQueued.arg(1) + RunTexts::ExitConfirm, Texts::TitleKorvan,
                                UserDialogs::Answer::Yes);
        app.form1->syswork.close->trigger();
        VERIFY_DIALOGS(app.dialogs);
        QVERIFY(app.ctx.m.exitAllowed);
        QVERIFY(app.form3->isHidden());
    }
};

QTEST_MAIN(TestLeaving)
#include "tst_leaving.moc"
