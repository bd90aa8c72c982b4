// The "运行结果" window: shown after a run or an immediate start that did
// not fully succeed, with what stayed queued ready to run again.
#include "dialogs/add_task_dialog.h"
#include "dialogs/run_results_window.h"
#include "model/texts.h"
#include "run/run_texts.h"
#include "support/test_app.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

namespace {

void queue(TestApp &app, const QStringList &paths)
{
    for (const QString &path : paths) {
        MoveTask t;
        t.name = path.section(u'/', -1);
        t.sourcePath = path;
        t.destination = QStringLiteral("/dest/");
        t.mode = Texts::ModeCopy;
        app.ctx.queue.appendTask(t);
    }
}

FileOpResult failed(const QString &message)
{
    FileOpResult r;
    r.status = FileOpResult::Status::Failed;
    r.message = message;
    return r;
}

} // namespace

class TestRunResults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void aFailedTaskIsShownStaysMarkedAndRunsAgain()
    {
        TestApp app;
        const QString odd = QStringLiteral("/src/<b>粗体</b> & co");
        queue(app, {QStringLiteral("/src/a"), odd, QStringLiteral("/src/c")});
        const QString reason = QStringLiteral("复制“%1”失败：设备上没有空间").arg(odd);
        app.engine.resultFor.insert(odd, failed(reason));
        app.form1->main_strat();

        RunResultsWindow *w = app.windows.runResults();
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("运行结果"));
        QCOMPARE(w->summary->text(), RunTexts::SomeNotDone.arg(3).arg(2).arg(1));
        const QString shown = w->account->toPlainText();
        // Names are shown as they are, never as markup.
        QVERIFY(shown.contains(u'【' + RunTexts::OutcomeFailed + u'】' + Texts::ModeCopy + u' ' + odd));
        QVERIFY(shown.contains(reason));
        QVERIFY(w->account->isReadOnly());
        QVERIFY(w->account->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        QCOMPARE(w->summary->textFormat(), Qt::PlainText);

        // The failed task stays queued, marked with the reason.
        QCOMPARE(app.ctx.queue.count(), 1);
        const QModelIndex row = app.ctx.queue.index(0, 0);
        QVERIFY(app.ctx.queue.data(row, Qt::AccessibleDescriptionRole).toString().contains(reason));
        QCOMPARE(app.ctx.queue.counters().totalCount, 1);
        // Its tool tip shows the name and the reason as they are, never as markup.
        app.form1->show();
        QTreeView *list = app.form1->ListView1;
        const QPoint at = list->visualRect(app.ctx.queue.index(0, 2)).center(); // the source path
        QHelpEvent tip(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &tip);
        QVERIFY2(QToolTip::text().contains(QStringLiteral("&lt;b&gt;粗体&lt;/b&gt; &amp; co")),
                 qPrintable(QToolTip::text()));
        QVERIFY(QToolTip::text().contains(RunTexts::OutcomeFailed));

        w->copy->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), app.ctx.outcomes.text());

        // "重新运行失败的任务" runs what stayed; this time it succeeds.
        QVERIFY(w->rerun->isEnabled());
        app.engine.resultFor.clear();
        w->rerun->click();
        QCOMPARE(app.engine.performed.size(), 4);
        QCOMPARE(app.engine.performed.last().pFrom, odd);
        QCOMPARE(app.ctx.queue.count(), 0);
        QVERIFY(w->isHidden());
        QVERIFY(app.form1->Frame1->title().contains(RunTexts::AllDone.arg(1)));
    }

    void aRunThatDidEverythingSaysSoInOneLineAndOpensNothing()
    {
        TestApp app;
        queue(app, {QStringLiteral("/a"), QStringLiteral("/b")});
        app.form1->main_strat();
        QVERIFY(app.windows.runResults()->isHidden());
        QCOMPARE(app.form1->Frame1->title(), RunTexts::LastRun.arg(RunTexts::AllDone.arg(2)));
        QCOMPARE(app.form1->Label1->text(), Texts::Banner);
    }

    void anImmediateStartThatFailsIsShownWithNothingToRunAgain()
    {
        TestApp app;
        app.engine.result = failed(QStringLiteral("移动“/now”失败：只读文件系统"));
        Form4 &f = *app.form4;
        f.show();
        f.Text1->setText(QStringLiteral("/now"));
        f.Combo1->setCurrentText(QStringLiteral("/to/"));
        f.Option1->click();
        f.Command5->click();
        RunResultsWindow *w = app.windows.runResults();
        QVERIFY(w->isVisible());
        QVERIFY(w->account->toPlainText().contains(QStringLiteral("只读文件系统")));
        QVERIFY(!w->rerun->isEnabled());
        w->closeButton->click();
        QVERIFY(w->isHidden());
    }

    void aLongRunIsToldToTheDesktopOnlyWhileNoWindowIsActive_data()
    {
        QTest::addColumn<bool>("longRun");
        QTest::addColumn<bool>("windowActive");
        QTest::addColumn<int>("sent");
        QTest::newRow("long, nothing active") << true << false << 1;
        QTest::newRow("long, a window active") << true << true << 0;
        QTest::newRow("short") << false << false << 0;
    }
    void aLongRunIsToldToTheDesktopOnlyWhileNoWindowIsActive()
    {
        QFETCH(bool, longRun);
        QFETCH(bool, windowActive);
        QFETCH(int, sent);
        TestApp app;
        // Every run counts as long, or none does.
        app.windows.notifyAfterMs = longRun ? 0 : std::numeric_limits<qint64>::max();
        queue(app, {QStringLiteral("/a"), QStringLiteral("/b")});
        app.engine.resultFor.insert(QStringLiteral("/b"), failed(QStringLiteral("x")));
        if (windowActive) {
            app.form1->show();
            QApplication::setActiveWindow(app.form1);
            QVERIFY(QApplication::activeWindow());
        } else {
            QApplication::setActiveWindow(nullptr);
        }
        app.form1->main_strat();
        QCOMPARE(app.notifications.sent.size(), sent);
        if (sent)
            QCOMPARE(app.notifications.sent.first().first, QStringLiteral("Korvan：完成 1 个任务，1 个失败"));
    }
};

QTEST_MAIN(TestRunResults)
#include "tst_run_results.moc"
