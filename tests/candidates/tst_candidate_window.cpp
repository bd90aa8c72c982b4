#include "candidate_fixture.h"
#include "model/texts.h"
#include "panel/panel_window.h"
#include "support/pickers.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

namespace {

const QString Korvan = QStringLiteral("Korvan");
const QString Copy = QStringLiteral("复制");
const QString Cut = QStringLiteral("剪贴");
const QString Delete = QStringLiteral("删除");
const QString Bin = QStringLiteral("回收站");
const QString NoDestTyped = QStringLiteral("目地地址没有输入 请再次输入 ！！");

QString summaryText(TestApp &app, int row)
{
    return app.ctx.summary.text(row);
}

bool modeOptionsClear(const Form7 &f)
{
    return !f.Option1->isChecked() && !f.Option2->isChecked() && !f.Option3->isChecked();
}

} // namespace

class TestCandidateWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void windowStartsAsDesigned()
    {
        TestApp app;
        Form7 &f = *app.ctx.candidateWindow();
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

    // --- row editor ---

    void commitFollowsOption1AndTheRecycleBin_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("mode");
        QTest::newRow("copy option") << 1 << QStringLiteral("/d/") << Copy;
        QTest::newRow("cut option") << 2 << QStringLiteral("/d/") << Cut;
        QTest::newRow("delete option, a directory gives cut") << 3 << QStringLiteral("/d/") << Cut;
        QTest::newRow("delete option, recycle bin") << 3 << Bin << Delete;
        QTest::newRow("copy option, recycle bin gives delete") << 1 << Bin << Delete;
    }

    void commitFollowsOption1AndTheRecycleBin()
    {
        QFETCH(int, option);
        QFETCH(QString, destination);
        QFETCH(QString, mode);
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QString(), QString()));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        f.ListView1_DblClick();
        QRadioButton *options[] = {f.Option1, f.Option2, f.Option3};
        options[option - 1]->click();
        f.Combo1->setEditText(destination);
        f.Text2->setText(QStringLiteral("remark"));

        f.Command5_Click();

        const CandidateRow &c = app.ctx.candidates.at(0);
        QCOMPARE(c.destination, destination);
        QCOMPARE(c.mode, mode);
        QCOMPARE(c.remark, QStringLiteral("remark"));
        QVERIFY(!f.Frame1->isEnabled());
        QCOMPARE(f.Frame1->title(), QStringLiteral("未选定选项！"));
        // "完成" empties the box and its list after a commit.
        QCOMPARE(f.Combo1->count(), 0);
        QVERIFY(f.Combo1->currentText().isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }

    void doneWithEmptyBoxKeepsEditorOpen()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QString(), Cut, true, QStringLiteral("r")));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        f.ListView1_DblClick();
        f.Text2->setText(QStringLiteral("changed"));
        app.dialogs.expectMessage(NoDestTyped);
        f.Command5_Click();
        QVERIFY(f.Frame1->isEnabled());
        QCOMPARE(f.Frame1->title(), QStringLiteral("A"));
        QCOMPARE(app.ctx.candidates.at(0).remark, QStringLiteral("r"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void modeOptionWritesTheEditedCandidateAtOnce()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/d/"), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QStringLiteral("/d/"), Copy));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(1, 0));
        f.ListView1_DblClick();
        QVERIFY(f.Option1->isChecked());
        f.Option3->click();
        QCOMPARE(app.ctx.candidates.at(1).mode, Delete);
        QCOMPARE(app.ctx.candidates.at(0).mode, Copy);
        VERIFY_DIALOGS(app.dialogs);
    }

    void doubleClickOffersDestinationsToTheBox()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/a/"), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QString(), QString(), true, QStringLiteral("b")));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/C"), QStringLiteral("/c/"), Cut));

        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        f.ListView1_DblClick();
        QCOMPARE(f.Combo1->count(), 1);
        QCOMPARE(f.Combo1->currentText(), QStringLiteral("/a/"));

        // B has no destination: committing A first, the box keeps "/a/".
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(1, 0));
        f.ListView1_DblClick();
        QCOMPARE(f.Frame1->title(), QStringLiteral("B"));
        QCOMPARE(f.Combo1->currentText(), QStringLiteral("/a/"));
        QCOMPARE(f.Text2->text(), QStringLiteral("b"));
        // The options show B's own mode: it has none.
        QVERIFY(modeOptionsClear(f));

        // Committing B (by opening C) gives it the box's text.
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(2, 0));
        f.ListView1_DblClick();
        QCOMPARE(app.ctx.candidates.at(1).destination, QStringLiteral("/a/"));
        QCOMPARE(app.ctx.candidates.at(1).mode, Cut);
        QCOMPARE(f.Combo1->count(), 2);
        QCOMPARE(f.Combo1->itemText(1), QStringLiteral("/c/"));
        QCOMPARE(f.Combo1->currentText(), QStringLiteral("/c/"));
        QVERIFY(f.Option2->isChecked());

        // A failed commit keeps the old candidate open.
        f.Combo1->setEditText(QString());
        app.dialogs.expectMessage(NoDestTyped);
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        f.ListView1_DblClick();
        QCOMPARE(f.Frame1->title(), QStringLiteral("C"));

        // No selected row: nothing happens at all.
        f.ListView1->clearSelection();
        f.ListView1_DblClick();
        QCOMPARE(f.Frame1->title(), QStringLiteral("C"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void browseOffersThePickedDirectory()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QString(), Copy));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        f.ListView1_DblClick();
        expectDestinationChosen(app.dialogs, QStringLiteral("/x/y"));
        f.Command4_Click();
        QCOMPARE(app.ctx.m.defaultDest, QStringLiteral("/x/y/"));
        QCOMPARE(f.Combo1->currentText(), QStringLiteral("/x/y/"));
        QCOMPARE(f.Combo1->itemText(0), QStringLiteral("/x/y/"));
        // The candidate changes only at the commit.
        QVERIFY(app.ctx.candidates.at(0).destination.isEmpty());
        f.Command5_Click();
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/x/y/"));
        VERIFY_DIALOGS(app.dialogs);
    }

    // --- "设置统一目地地址" ---

    void setAllWithoutDefaultOpensPickerAndReplacesOnNo()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/old/"), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), Bin, Delete, false));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/C"), QString(), Delete));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/D"), QString(), Cut, false));
        expectDestinationChosen(app.dialogs, QStringLiteral("/x/y"));
        app.dialogs.expectYesNoCancel(QStringLiteral("如果记录已有目地地址，是否保留原目地地址？"), Korvan,
                                      UserDialogs::Answer::No);
        int askedWhileDisabled = 0;
        app.dialogs.onAsk = [&](const ScriptedDialogs::Question &) {
            if (!f.Command2->isEnabled() && !f.Command3->isEnabled())
                ++askedWhileDisabled;
        };

        f.Command3_Click();

        QCOMPARE(askedWhileDisabled, 2);
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/x/y/"));
        QCOMPARE(app.ctx.candidates.at(1).destination, QStringLiteral("/x/y/"));
        QVERIFY(app.ctx.candidates.at(2).destination.isEmpty());
        QCOMPARE(app.ctx.candidates.at(3).destination, QStringLiteral("/x/y/"));
        QVERIFY(f.Command2->isEnabled());
        QVERIFY(f.Command3->isEnabled());
        VERIFY_DIALOGS(app.dialogs);
    }

    void setAllKeepsDefaultAndExistingOnYes()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.m.defaultDest = QStringLiteral("/def/");
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/old/"), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QString(), Copy));
        app.dialogs.expectYesNoCancel(QStringLiteral("当前使用目地地址为：/def/是否继续使用？"), Korvan,
                                      UserDialogs::Answer::Yes);
        app.dialogs.expectYesNoCancel(QStringLiteral("如果记录已有目地地址，是否保留原目地地址？"), Korvan,
                                      UserDialogs::Answer::Yes);
        f.Command3_Click();
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/old/"));
        QCOMPARE(app.ctx.candidates.at(1).destination, QStringLiteral("/def/"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void setAllCancelledChangesNothing()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.m.defaultDest = QStringLiteral("/def/");
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QString(), Copy));
        app.dialogs.expectYesNoCancel(QStringLiteral("当前使用目地地址为：/def/是否继续使用？"), Korvan,
                                      UserDialogs::Answer::Cancel);
        f.Command3_Click();
        // No at the first question opens the picker; Cancel at the second ends it.
        app.dialogs.expectYesNoCancel(QStringLiteral("当前使用目地地址为：/def/是否继续使用？"), Korvan,
                                      UserDialogs::Answer::No);
        expectDestinationChosen(app.dialogs, QStringLiteral("/new"));
        app.dialogs.expectYesNoCancel(QStringLiteral("如果记录已有目地地址，是否保留原目地地址？"), Korvan,
                                      UserDialogs::Answer::Cancel);
        f.Command3_Click();
        QVERIFY(app.ctx.candidates.at(0).destination.isEmpty());
        QCOMPARE(app.ctx.m.defaultDest, QStringLiteral("/new/"));
        QVERIFY(f.Command2->isEnabled());
        QVERIFY(f.Command3->isEnabled());
        VERIFY_DIALOGS(app.dialogs);
    }

    void setAllWithPickerCancelledAndNoDefaultKeepsDestinations()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/old/"), Copy));
        expectDestinationCancelled(app.dialogs);
        f.Command3_Click();
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/old/"));
        QVERIFY(f.Command2->isEnabled());
        QVERIFY(f.Command3->isEnabled());
        VERIFY_DIALOGS(app.dialogs);
    }

    // --- drops on the list ---

    void droppedPathsBecomeTickedCandidates()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.m.defaultDest = QStringLiteral("/d/");
        app.files.plainFiles.insert(QStringLiteral("/s/file.txt"), 2048);
        QVERIFY(dropPathsOnList(f, {QStringLiteral("/s/file.txt"), QStringLiteral("/s/folder")}));

        QCOMPARE(app.ctx.candidates.count(), 2);
        const CandidateRow &file = app.ctx.candidates.at(0);
        QCOMPARE(file.name, QStringLiteral("file.txt"));
        QCOMPARE(file.sizeK, QStringLiteral("2"));
        QCOMPARE(file.destination, QStringLiteral("/d/"));
        QCOMPARE(file.mode, Copy);
        QVERIFY(file.ticked);
        const CandidateRow &folder = app.ctx.candidates.at(1);
        QCOMPARE(folder.name, QStringLiteral("folder"));
        QVERIFY(folder.sizeK.isEmpty());
        QVERIFY(folder.ticked);

        // Delete as the default mode gives the recycle bin.
        app.ctx.m.defaultMode = Delete;
        QVERIFY(dropPathsOnList(f, {QStringLiteral("/s/gone")}));
        QCOMPARE(app.ctx.candidates.at(2).destination, Bin);

        // A drop without file URLs does nothing.
        QVERIFY(!dropOnList(f, {QUrl(QStringLiteral("https://example.org/x"))}));
        QCOMPARE(app.ctx.candidates.count(), 3);
        VERIFY_DIALOGS(app.dialogs);
    }

    void droppedQueuedPathAnsweredNoEndsTheDrop()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.queue.appendTask(queuedTask(QStringLiteral("/s/a"), QStringLiteral("/d/"), Copy));
        app.dialogs.expectYesNo(QStringLiteral("/s/a已在队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                                UserDialogs::Answer::No);
        QVERIFY(dropPathsOnList(f, {QStringLiteral("/s/a"), QStringLiteral("/s/b")}));
        QVERIFY(app.ctx.candidates.isEmpty());
        QCOMPARE(app.ctx.queue.count(), 1);
        VERIFY_DIALOGS(app.dialogs);
    }

    void droppedQueuedPathAnsweredYesLeavesTheQueue()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.queue.appendTask(queuedTask(QStringLiteral("/s/a"), QStringLiteral("/d/"), Cut));
        app.ctx.queue.appendTask(queuedTask(QStringLiteral("/s/k"), QStringLiteral("/d/"), Copy));
        app.dialogs.expectYesNo(QStringLiteral("/s/a已在队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                                UserDialogs::Answer::Yes);
        QVERIFY(dropPathsOnList(f, {QStringLiteral("/s/a")}));
        QCOMPARE(queuePaths(app.ctx.queue), QStringList({QStringLiteral("/s/k")}));
        QCOMPARE(app.ctx.queue.counters().cutCount, 0);
        QCOMPARE(app.ctx.queue.counters().totalCount, 1);
        QCOMPARE(summaryText(app, 2), QStringLiteral("剪贴的文件有0个"));
        QCOMPARE(summaryText(app, 4), QStringLiteral("共要移动的文件个数有1个"));
        QCOMPARE(candidatePaths(app.ctx.candidates), QStringList({QStringLiteral("/s/a")}));
        VERIFY_DIALOGS(app.dialogs);
    }

    void droppedCandidateDuplicateIsAskedAbout()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/a"), QStringLiteral("/old/"), Cut));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/b"), QStringLiteral("/old/"), Cut));
        app.ctx.m.defaultDest = QStringLiteral("/d/");
        app.dialogs.expectYesNo(QStringLiteral("/s/a已在候选队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                                UserDialogs::Answer::Yes);
        app.dialogs.expectYesNo(QStringLiteral("/s/b已在候选队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                                UserDialogs::Answer::No);
        QVERIFY(dropPathsOnList(f, {QStringLiteral("/s/a"), QStringLiteral("/s/b"), QStringLiteral("/s/c")}));
        // a replaced (now last, with the defaults); b kept; c never reached.
        QCOMPARE(candidatePaths(app.ctx.candidates), QStringList({QStringLiteral("/s/b"), QStringLiteral("/s/a")}));
        QCOMPARE(app.ctx.candidates.at(1).destination, QStringLiteral("/d/"));
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
        const QRect screen = app.ctx.form3->screen()->availableGeometry();
        QVERIFY(qAbs(f.frameGeometry().center().x() - screen.center().x()) <= 8);
        QVERIFY(screen.contains(f.frameGeometry()));
        QVERIFY(!f.frameGeometry().intersects(app.ctx.form3->frameGeometry()));
        VERIFY_DIALOGS(app.dialogs);
    }

    void theEditorShowsItsCandidateLiterallyAndGoesWithIt()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/R&D.txt"), QString(), Cut, true, QStringLiteral("r")));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QStringLiteral("/d/"), Copy));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        f.ListView1_DblClick();
        // What is drawn (and read out) is the name itself, with no shortcut.
        QCOMPARE(QAccessible::queryAccessibleInterface(f.Frame1)->text(QAccessible::Name), QStringLiteral("R&D.txt"));
        QVERIFY(QKeySequence::mnemonic(f.Frame1->title()).isEmpty());
        // Removing another candidate leaves the edit alone; "全部清除" ends it.
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(1, 0));
        f.recls();
        QCOMPARE(f.editedRow(), 0);
        f.reclose();
        QVERIFY(!f.Frame1->isEnabled());
        QVERIFY(modeOptionsClear(f) && f.Text2->text().isEmpty());
        // "确定" has nothing left to commit and closes the window.
        f.Command2_Click();
        QVERIFY(!f.isVisible());
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
