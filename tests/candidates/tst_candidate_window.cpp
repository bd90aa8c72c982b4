#include "candidate_fixture.h"
#include "model/texts.h"
#include "panel/panel_window.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

class TestCandidateWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void windowStartsAsDesigned()
    {
        TestApp app;
        Form7 &f = *app.form7;
        QAbstractItemModelTester tester(&app.ctx.candidates);
        QCOMPARE(f.windowTitle(), QStringLiteral("多移动候选选择"));
        QCOMPARE(f.size(), QSize(482, 355));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!f.windowIcon().isNull());
        QCOMPARE(f.TabStrip1->count(), 1);
        QCOMPARE(f.TabStrip1->tabText(0), QStringLiteral("多移动候选选择.."));

        const QStringList headers = {QStringLiteral("文件名"),     QStringLiteral("文件大小(K)"),
                                     QStringLiteral("原物理地址"), QStringLiteral("目地地址"),
                                     QStringLiteral("移动方式 "),  QStringLiteral("备注")};
        const int widths[] = {169, 169, 169, 169, 118, 522};
        QCOMPARE(f.ListView1->model()->columnCount(), 6);
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(f.ListView1->model()->headerData(c, Qt::Horizontal).toString(), headers.at(c));
            QCOMPARE(f.ListView1->columnWidth(c), widths[c]);
        }
        QCOMPARE(f.ListView1->geometry(), QRect(8, 24, 465, 217));
        QVERIFY(f.ListView1->viewport()->acceptDrops());

        QCOMPARE(f.Command3->text(), QStringLiteral("设置统一目地地址"));
        QCOMPARE(f.Command2->text(), QStringLiteral("确定"));
        QCOMPARE(f.Command1->text(), QStringLiteral("取消"));
        QCOMPARE(f.Command4->text(), QStringLiteral("..."));
        QCOMPARE(f.Command5->text(), QStringLiteral("完成"));
        QCOMPARE(f.Command5->parentWidget(), f.Frame1);
        QCOMPARE(f.Combo1->parentWidget(), f.Frame2);
        QCOMPARE(f.Text2->parentWidget(), f.Frame3);
        QCOMPARE(f.Option3->parentWidget(), f.Frame5);
        QCOMPARE(f.Option6->parentWidget(), f.Frame4);
        QCOMPARE(f.Frame2->title(), QStringLiteral("单个目地址设定"));
        QCOMPARE(f.Frame3->title(), QStringLiteral("备注："));
        QCOMPARE(f.Frame5->title(), QStringLiteral("移动模式："));
        QCOMPARE(f.Frame4->title(), QStringLiteral("对于没有选中的记录"));
        QCOMPARE(f.Option4->text(), QStringLiteral("不再提问直接删除"));
        QCOMPARE(f.Option5->text(), QStringLiteral("不再提问保留记录"));
        QCOMPARE(f.Option6->text(), QStringLiteral("始终提问"));
        QCOMPARE(f.Command2->geometry(), QRect(336, 336, 65, 17));
        QCOMPARE(f.Frame4->geometry(), QRect(328, 256, 153, 73));

        QCOMPARE(f.Frame1->title(), QStringLiteral("未选定选项！"));
        QVERIFY(!f.Frame1->isEnabled());
        QVERIFY(!f.Command5->isEnabled());
        QVERIFY(f.Option6->isChecked());
        QVERIFY(modeOptionsClear(f));
        QCOMPARE(f.Combo1->count(), 0);
        QVERIFY(f.Combo1->currentText().isEmpty());
        QVERIFY(f.Text2->text().isEmpty());
        QVERIFY(f.Combo1->isEditable());
        VERIFY_DIALOGS(app.dialogs);
    }

    // --- "确定" ---

    void confirmQueuesTickedCandidatesLastRowFirst()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(
            candidate(QStringLiteral("/s/A"), QStringLiteral("/d/"), Copy, true, QStringLiteral("first")));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QStringLiteral("/d/"), Cut));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/C"), Bin, Delete));
        QVERIFY(!app.form1->isVisible());

        f.Command2_Click();

        QCOMPARE(queuePaths(app.ctx.queue),
                 QStringList({QStringLiteral("/s/C"), QStringLiteral("/s/B"), QStringLiteral("/s/A")}));
        const MoveTask &a = app.ctx.queue.task(2);
        QCOMPARE(a.name, QStringLiteral("A"));
        QCOMPARE(a.destination, QStringLiteral("/d/"));
        QCOMPARE(a.mode, Copy);
        QCOMPARE(a.remark, QStringLiteral("first"));
        const QueueCounters &n = app.ctx.queue.counters();
        QCOMPARE(n.copyCount, 1);
        QCOMPARE(n.cutCount, 1);
        QCOMPARE(n.deleteCount, 1);
        QCOMPARE(n.totalCount, 3);
        QCOMPARE(summaryText(app, 1), QStringLiteral("复制的文件有1个"));
        QCOMPARE(summaryText(app, 2), QStringLiteral("剪贴的文件有1个"));
        QCOMPARE(summaryText(app, 3), QStringLiteral("删除的文件有1个"));
        QCOMPARE(summaryText(app, 4), QStringLiteral("共要移动的文件个数有3个"));
        QVERIFY(app.ctx.candidates.isEmpty());
        QVERIFY(!f.isVisible());
        QVERIFY(app.form1->isVisible());
        VERIFY_DIALOGS(app.dialogs);
    }

    void confirmOnEmptyListClosesAndQueuesNothing()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        f.Command2_Click();
        QVERIFY(!f.isVisible());
        QVERIFY(app.ctx.queue.isEmpty());
        QVERIFY(!app.form1->isVisible());
        VERIFY_DIALOGS(app.dialogs);
    }

    void confirmStopsAtTickedCandidateWithoutDestination()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        f.Combo1->setEditText(QStringLiteral("/typed/"));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/d/"), Copy));
        const RowRef b = app.ctx.candidates.append(
            candidate(QStringLiteral("/s/B"), QString(), Cut, true, QStringLiteral("note")));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/C"), QString(), Copy));
        app.dialogs.expectMessage(QStringLiteral("当前/s/B这条记录没有目地地址！"));

        f.Command2_Click();

        QVERIFY(app.ctx.queue.isEmpty());
        QCOMPARE(app.ctx.candidates.count(), 3);
        QVERIFY(f.Frame1->isEnabled());
        QCOMPARE(f.Frame1->title(), QStringLiteral("B"));
        QCOMPARE(app.ctx.m.newRow, b);
        QCOMPARE(f.Text2->text(), QStringLiteral("note"));
        QVERIFY(f.Option2->isChecked());
        // An empty entry joins the list; the box keeps what it showed.
        QCOMPARE(f.Combo1->count(), 1);
        QVERIFY(f.Combo1->itemText(0).isEmpty());
        QCOMPARE(f.Combo1->currentText(), QStringLiteral("/typed/"));
        QVERIFY(f.isVisible());
        VERIFY_DIALOGS(app.dialogs);
    }

    void confirmCommitsTheOpenEditorFirst()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QString(), Copy));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        f.ListView1_DblClick();
        QVERIFY(f.Frame1->isEnabled());

        // An empty box: the commit fails and nothing is queued.
        app.dialogs.expectMessage(NoDestTyped);
        f.Command2_Click();
        QVERIFY(app.ctx.queue.isEmpty());
        QVERIFY(f.Frame1->isEnabled());

        f.Combo1->setEditText(QStringLiteral("/d/"));
        f.Option1->click();
        f.Command2_Click();
        QCOMPARE(app.ctx.queue.count(), 1);
        QCOMPARE(app.ctx.queue.task(0).destination, QStringLiteral("/d/"));
        QCOMPARE(app.ctx.queue.task(0).mode, Copy);
        VERIFY_DIALOGS(app.dialogs);
    }

    void untickedCandidatesFollowThePolicy()
    {
        // Option5: kept without a question; the refused close minimises.
        {
            TestApp app;
            Form7 &f = shownCandidateWindow(app);
            app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/d/"), Copy));
            app.ctx.candidates.append(candidate(QStringLiteral("/s/U"), QString(), QString(), false));
            f.Option5->click();
            f.Command2_Click();
            QCOMPARE(queuePaths(app.ctx.queue), QStringList({QStringLiteral("/s/A")}));
            QCOMPARE(candidatePaths(app.ctx.candidates), QStringList({QStringLiteral("/s/U")}));
            QVERIFY(f.isMinimized());
            QVERIFY(f.Option5->isChecked());
            VERIFY_DIALOGS(app.dialogs);
        }
        // Option4: removed without a question.
        {
            TestApp app;
            Form7 &f = shownCandidateWindow(app);
            app.ctx.candidates.append(candidate(QStringLiteral("/s/U"), QString(), QString(), false));
            f.Option4->click();
            f.Command2_Click();
            QVERIFY(app.ctx.candidates.isEmpty());
            QVERIFY(app.ctx.queue.isEmpty());
            QVERIFY(!f.isVisible());
            VERIFY_DIALOGS(app.dialogs);
        }
        // Option6: one question each, from the bottom row up.
        {
            TestApp app;
            Form7 &f = shownCandidateWindow(app);
            app.ctx.candidates.append(candidate(QStringLiteral("/s/U1"), QString(), QString(), false));
            app.ctx.candidates.append(candidate(QStringLiteral("/s/T"), QStringLiteral("/d/"), Cut));
            app.ctx.candidates.append(candidate(QStringLiteral("/s/U2"), QString(), QString(), false));
            app.dialogs.expectYesNo(QStringLiteral("请问/s/U2这条记录，是否删除？"), Korvan, UserDialogs::Answer::No);
            app.dialogs.expectYesNo(QStringLiteral("请问/s/U1这条记录，是否删除？"), Korvan, UserDialogs::Answer::Yes);
            f.Command2_Click();
            QCOMPARE(candidatePaths(app.ctx.candidates), QStringList({QStringLiteral("/s/U2")}));
            QCOMPARE(queuePaths(app.ctx.queue), QStringList({QStringLiteral("/s/T")}));
            QVERIFY(f.isMinimized());
            VERIFY_DIALOGS(app.dialogs);
        }
    }

    void confirmShowsMainWindowOnlyWhenQueueHasRows()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/U"), QString(), QString(), false));
        f.Option4->click();
        f.Command2_Click();
        QVERIFY(!app.form1->isVisible());

        // A queue that already had rows counts too.
        app.ctx.queue.appendTask(queuedTask(QStringLiteral("/q/1"), QStringLiteral("/d/"), Copy));
        f.show();
        f.Command2_Click();
        QVERIFY(app.form1->isVisible());
        VERIFY_DIALOGS(app.dialogs);
    }

    // --- closing ---

    void closingWithCandidatesOnlyMinimises()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QString(), Copy));
        QVERIFY(!f.close());
        QVERIFY(f.isMinimized());
        QCOMPARE(app.ctx.candidates.count(), 1);

        f.Command1_Click();
        QVERIFY(app.ctx.candidates.isEmpty());
        QVERIFY(!f.isVisible());
        QVERIFY(app.ctx.queue.isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }

    void closedWindowStartsAfreshWhenShownAgain()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/a/"), Cut));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        f.ListView1_DblClick();
        f.Text2->setText(QStringLiteral("typed"));
        f.Option4->click();
        f.ListView1_ItemClick(0);
        QVERIFY(f.BLACKWORK.cut->isChecked());
        f.move(0, 0);

        f.Command1_Click();
        QVERIFY(!f.isVisible());
        QVERIFY(!f.Frame1->isEnabled());
        QCOMPARE(f.Frame1->title(), QStringLiteral("未选定选项！"));
        QVERIFY(f.Option6->isChecked());
        QVERIFY(modeOptionsClear(f));
        QCOMPARE(f.Combo1->count(), 0);
        QVERIFY(f.Combo1->currentText().isEmpty());
        QVERIFY(f.Text2->text().isEmpty());
        QVERIFY(!f.BLACKWORK.cut->isChecked());

        f.show();
        // Centred on the panel's screen, clear of the panel.
        const QRect screen = app.form3->screen()->availableGeometry();
        QVERIFY(qAbs(f.frameGeometry().center().x() - screen.center().x()) <= 8);
        QVERIFY(screen.contains(f.frameGeometry()));
        QVERIFY(!f.frameGeometry().intersects(app.form3->frameGeometry()));
        VERIFY_DIALOGS(app.dialogs);
    }

    void aRowSelectedWithTheKeyboardCountsAsClicked()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/d/"), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QStringLiteral("/d/"), Cut));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        QTest::keyClick(f.ListView1, Qt::Key_Down);
        QCOMPARE(app.ctx.candidates.positionOf(app.ctx.m.currentCandidate), 1);
        QVERIFY(f.BLACKWORK.cut->isChecked());
        // Removing the row moves the view's selection on by itself: no click.
        f.recls();
        QCOMPARE(app.ctx.candidates.positionOf(app.ctx.m.currentCandidate), -1);
    }

    // --- other handlers running during the yields ---

    void rowsRemovedDuringConfirmAreSkipped()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        for (int i = 0; i < 6; ++i)
            app.ctx.candidates.append(candidate(QStringLiteral("/s/%1").arg(i), QStringLiteral("/d/"), Copy));
        // Another handler removes the first row at every yield of the transfer pass.
        int yields = 0;
        app.yield.onYield = [&] {
            if (++yields > 6 && !app.ctx.candidates.isEmpty())
                app.ctx.candidates.removeAt(0);
        };
        f.Command2_Click();
        // Bottom up: 5 queued, then 0 removed; 4 queued, then 1 removed; 3 queued.
        QCOMPARE(queuePaths(app.ctx.queue),
                 QStringList({QStringLiteral("/s/5"), QStringLiteral("/s/4"), QStringLiteral("/s/3")}));
        QCOMPARE(app.ctx.queue.counters().totalCount, 3);
        QVERIFY(app.ctx.candidates.isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }

    void rowsClearedDuringSetAllAndDropAreSkipped()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.m.defaultDest = QStringLiteral("/def/");
        for (int i = 0; i < 4; ++i)
            app.ctx.candidates.append(candidate(QStringLiteral("/s/%1").arg(i), QString(), Copy));
        app.dialogs.expectYesNoCancel(QStringLiteral("当前使用目地地址为：/def/是否继续使用？"), Korvan,
                                      UserDialogs::Answer::Yes);
        app.dialogs.expectYesNoCancel(QStringLiteral("如果记录已有目地地址，是否保留原目地地址？"), Korvan,
                                      UserDialogs::Answer::Yes);
        int yields = 0;
        app.yield.onYield = [&] {
            if (++yields == 2)
                f.reclose();
        };
        f.Command3_Click();
        QVERIFY(app.ctx.candidates.isEmpty());

        // The program ending during a drop stops it.
        app.yield.onYield = [&] { app.ctx.m.exitAllowed = true; };
        QVERIFY(dropPathsOnList(f, {QStringLiteral("/s/x"), QStringLiteral("/s/y")}));
        QVERIFY(app.ctx.candidates.isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }

    void questionAnsweredAfterItsRowWasRemovedTouchesNothing()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/U"), QString(), QString(), false));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/T"), QStringLiteral("/d/"), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/V"), QString(), QString(), false));
        app.dialogs.expectYesNo(QStringLiteral("请问/s/V这条记录，是否删除？"), Korvan, UserDialogs::Answer::Yes);
        app.dialogs.expectYesNo(QStringLiteral("请问/s/U这条记录，是否删除？"), Korvan, UserDialogs::Answer::No);
        // While the first box is open, the row it asks about is removed by the menu.
        bool removed = false;
        app.dialogs.onAsk = [&](const ScriptedDialogs::Question &) {
            if (!removed) {
                removed = true;
                app.ctx.candidates.removeAt(2);
            }
        };
        f.Command2_Click();
        QCOMPARE(candidatePaths(app.ctx.candidates), QStringList({QStringLiteral("/s/U")}));
        QCOMPARE(queuePaths(app.ctx.queue), QStringList({QStringLiteral("/s/T")}));
        VERIFY_DIALOGS(app.dialogs);
    }
};

QTEST_MAIN(TestCandidateWindow)
#include "tst_candidate_window.moc"
