#include "candidate_fixture.h"
#include "support/pickers.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QtTest>

namespace {

const QString NoRecord = QStringLiteral("当前没有指定记录，无法进行操作！！");

QPoint rowCentre(Form7 &f, int row)
{
    return f.ListView1->visualRect(f.ListView1->model()->index(row, 2)).center();
}

QList<bool> marks(const Form7 &f)
{
    return {f.BLACKWORK.copy->isChecked(), f.BLACKWORK.cut->isChecked(), f.BLACKWORK.redele->isChecked()};
}

} // namespace

class TestCandidateMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void menuHasEveryEntryInOrder()
    {
        TestApp app;
        Form7 &f = *app.form7;
        const CandidateMenu &m = f.BLACKWORK;
        QCOMPARE(m.menu->title(), QStringLiteral("候选操作"));
        const QList<QAction *> entries = m.menu->actions();
        QCOMPARE(entries.size(), 8);
        QCOMPARE(entries.at(0), m.rddisk);
        QCOMPARE(entries.at(1), m.rdrunmode->menuAction());
        QCOMPARE(entries.at(2), m.rememo);
        QCOMPARE(entries.at(3), m.f1);
        QCOMPARE(entries.at(4), m.recls);
        QCOMPARE(entries.at(5), m.reclose);
        QCOMPARE(entries.at(6), m.f2);
        QCOMPARE(entries.at(7), m.TRYUSE);
        QVERIFY(m.f1->isSeparator());
        QVERIFY(m.f2->isSeparator());
        QCOMPARE(m.rddisk->text(), QStringLiteral("修改目地地址"));
        QCOMPARE(m.rdrunmode->title(), QStringLiteral("修改移动方式"));
        QCOMPARE(m.rememo->text(), QStringLiteral("修改备注"));
        QCOMPARE(m.recls->text(), QStringLiteral("移除当前记录"));
        QCOMPARE(m.reclose->text(), QStringLiteral("全部清除"));
        QCOMPARE(m.TRYUSE->text(), QStringLiteral("试运行"));
        QCOMPARE(m.rdrunmode->actions(), QList<QAction *>({m.copy, m.cut, m.redele}));
        QCOMPARE(m.copy->text(), Copy);
        QCOMPARE(m.cut->text(), Cut);
        QCOMPARE(m.redele->text(), Delete);
        for (QAction *mark : {m.copy, m.cut, m.redele})
            QVERIFY(mark->isCheckable() && !mark->isChecked());
        VERIFY_DIALOGS(app.dialogs);
    }

    void emptyListAnswersEveryButtonWithTheNoRecordMessage()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        QWidget *viewport = f.ListView1->viewport();
        app.dialogs.expectMessage(NoRecord, Korvan);
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(20, 20));
        app.dialogs.expectMessage(NoRecord, Korvan);
        QTest::mousePress(viewport, Qt::RightButton, {}, QPoint(20, 20));
        QVERIFY(!f.BLACKWORK.menu->isVisible());

        // Every entry but "全部清除" answers the same way.
        for (int i = 0; i < 7; ++i)
            app.dialogs.expectMessage(NoRecord, Korvan);
        f.rddisk();
        f.changeMode(Copy);
        f.changeMode(Cut);
        f.changeMode(Delete);
        f.rememo();
        f.recls();
        f.TRYUSE();
        f.reclose();
        QVERIFY(app.shell.openedPaths.isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }

    void rightPressSelectsTheRowUnderThePointerAndPopsUp()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/d/"), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QStringLiteral("/d/"), Cut));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));

        QTest::mousePress(f.ListView1->viewport(), Qt::RightButton, {}, rowCentre(f, 1));
        QVERIFY(f.BLACKWORK.menu->isVisible());
        QCOMPARE(f.selectedRow(), 1);
        QCOMPARE(app.ctx.m.currentCandidate, app.ctx.candidates.refAt(1));
        QCOMPARE(marks(f), QList<bool>({false, true, false}));
        f.BLACKWORK.menu->close();

        // Choosing an entry then acts on that row.
        f.BLACKWORK.redele->trigger();
        QCOMPARE(app.ctx.candidates.at(1).mode, Delete);
        QCOMPARE(app.ctx.candidates.at(1).destination, QStringLiteral("/d/"));
        QCOMPARE(app.ctx.candidates.at(0).mode, Copy);
        QCOMPARE(marks(f), QList<bool>({false, false, true}));
        VERIFY_DIALOGS(app.dialogs);
    }

    void itemClickSetsCurrentCandidateAndMarks()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/d/"), Cut));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QString(), QString()));
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, rowCentre(f, 0));
        QCOMPARE(app.ctx.m.currentCandidate, app.ctx.candidates.refAt(0));
        QCOMPARE(marks(f), QList<bool>({false, true, false}));
        // A candidate without a mode leaves the marks as they were.
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, rowCentre(f, 1));
        QCOMPARE(app.ctx.m.currentCandidate, app.ctx.candidates.refAt(1));
        QCOMPARE(marks(f), QList<bool>({false, true, false}));
        VERIFY_DIALOGS(app.dialogs);
    }

    void modeEntriesChangeTheSelectedRow()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), Bin, Delete));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        f.BLACKWORK.copy->trigger();
        QCOMPARE(app.ctx.candidates.at(0).mode, Copy);
        QVERIFY(app.ctx.candidates.at(0).destination.isEmpty());
        QCOMPARE(marks(f), QList<bool>({true, false, false}));

        // "确定" now stops at it.
        app.dialogs.expectMessage(QStringLiteral("当前/s/A这条记录没有目地地址！"));
        f.Command2_Click();
        QVERIFY(app.ctx.queue.isEmpty());
        QVERIFY(f.Frame1->isEnabled());

        app.ctx.candidates.setField(0, MoveTask::Destination, QStringLiteral("/d/"));
        f.BLACKWORK.cut->trigger();
        QCOMPARE(app.ctx.candidates.at(0).mode, Cut);
        QVERIFY(app.ctx.candidates.at(0).destination.isEmpty());
        // The row editor is left alone.
        QCOMPARE(f.Frame1->title(), QStringLiteral("A"));
        QVERIFY(f.Frame1->isEnabled());
        VERIFY_DIALOGS(app.dialogs);
    }

    void rowEntriesWithoutSelectionChangeNothing()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/d/"), Copy));
        QCOMPARE(f.selectedRow(), -1);
        for (int i = 0; i < 7; ++i)
            app.dialogs.expectMessage(NoRecord, Korvan);
        f.changeMode(Cut);
        f.changeMode(Delete);
        f.recls();
        f.TRYUSE();
        // Nothing clicked yet for these two.
        f.rddisk();
        f.rememo();
        QVERIFY(!marks(f).contains(true));
        // The clicked candidate has since been removed.
        f.ListView1_ItemClick(0);
        app.ctx.candidates.removeAt(0);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QStringLiteral("/d/"), Copy));
        f.rememo();
        QCOMPARE(app.ctx.candidates.at(0).mode, Copy);
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/d/"));
        QVERIFY(app.shell.openedPaths.isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }

    void destinationAndRemarkEntriesActOnTheClickedCandidate()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QString(), Copy, true, QStringLiteral("r")));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QString(), Copy));
        f.ListView1_ItemClick(0);
        // The focus moving elsewhere without selecting (Ctrl+arrows) does not
        // move the clicked candidate.
        f.ListView1->selectionModel()->setCurrentIndex(app.ctx.candidates.index(1, 0), QItemSelectionModel::NoUpdate);

        expectDestinationChosen(app.dialogs, QStringLiteral("/x/y"));
        f.rddisk();
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/x/y/"));
        QVERIFY(app.ctx.candidates.at(1).destination.isEmpty());

        // Cancelled: the candidate keeps its own destination.
        app.ctx.candidates.setField(0, MoveTask::Destination, QStringLiteral("/other/"));
        expectDestinationCancelled(app.dialogs);
        f.rddisk();
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/other/"));

        app.dialogs.expectInput(QStringLiteral("请输入备注:"), Korvan, QStringLiteral("new"));
        f.rememo();
        QCOMPARE(app.ctx.candidates.at(0).remark, QStringLiteral("new"));
        // Cancelled: the remark stays; an empty text accepted clears it.
        app.dialogs.expectInputCancelled(QStringLiteral("请输入备注:"), Korvan);
        f.rememo();
        QCOMPARE(app.ctx.candidates.at(0).remark, QStringLiteral("new"));
        app.dialogs.expectInput(QStringLiteral("请输入备注:"), Korvan, QString());
        f.rememo();
        QVERIFY(app.ctx.candidates.at(0).remark.isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }

    void removeClearAndTryOut()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QString(), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B b.txt"), QString(), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/C"), QString(), Copy));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(1, 0));
        f.BLACKWORK.TRYUSE->trigger();
        QCOMPARE(app.shell.openedPaths, QStringList({QStringLiteral("/s/B b.txt")}));
        QCOMPARE(app.ctx.candidates.count(), 3);

        f.BLACKWORK.recls->trigger();
        QCOMPARE(candidatePaths(app.ctx.candidates), QStringList({QStringLiteral("/s/A"), QStringLiteral("/s/C")}));

        f.BLACKWORK.reclose->trigger();
        QVERIFY(app.ctx.candidates.isEmpty());
        // The window stays; only its close is no longer refused.
        QVERIFY(f.isVisible());
        QVERIFY(f.close());
        VERIFY_DIALOGS(app.dialogs);
    }

    void aRemovedCandidateLeavesNoRowSelected_data()
    {
        QTest::addColumn<int>("selected");
        QTest::newRow("first") << 0;
        QTest::newRow("middle") << 1;
        QTest::newRow("last") << 2;
    }

    void aRemovedCandidateLeavesNoRowSelected()
    {
        QFETCH(int, selected);
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        for (const QString &p : {QStringLiteral("/s/A"), QStringLiteral("/s/B"), QStringLiteral("/s/C")})
            app.ctx.candidates.append(candidate(p, QString(), Copy));
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, rowCentre(f, selected));
        QCOMPARE(f.selectedRow(), selected);

        f.BLACKWORK.recls->trigger();

        QCOMPARE(app.ctx.candidates.count(), 2);
        // Nobody clicked a neighbour: nothing is selected or current, and the
        // row entries have nothing to act on.
        QCOMPARE(f.selectedRow(), -1);
        QVERIFY(!f.ListView1->currentIndex().isValid());
        QVERIFY(f.ListView1->selectionModel()->selectedIndexes().isEmpty());
        app.dialogs.expectMessage(QStringLiteral("当前没有指定记录，无法进行操作！！"));
        f.BLACKWORK.recls->trigger();
        app.dialogs.expectMessage(QStringLiteral("当前没有指定记录，无法进行操作！！"));
        f.BLACKWORK.TRYUSE->trigger();
        QCOMPARE(app.ctx.candidates.count(), 2);
        QVERIFY(app.shell.openedPaths.isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }

    void doubleClickOnARowOpensTheEditor()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/d/"), Cut));
        QTest::mouseDClick(f.ListView1->viewport(), Qt::LeftButton, {}, rowCentre(f, 0));
        QTRY_VERIFY(f.Frame1->isEnabled());
        QCOMPARE(f.Frame1->title(), QStringLiteral("A"));
        QCOMPARE(f.Combo1->currentText(), QStringLiteral("/d/"));
        VERIFY_DIALOGS(app.dialogs);
    }
};

QTEST_MAIN(TestCandidateMenu)
#include "tst_candidate_menu.moc"
