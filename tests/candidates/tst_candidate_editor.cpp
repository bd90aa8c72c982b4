#include "candidate_fixture.h"
#include "support/pickers.h"

#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

// The candidate editor: the row editor below the list and paths dropped on
// the list ("设置统一目地地址" is tst_candidate_set_all).
class TestCandidateEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

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

    void theCommitWritesTheModeTheOptionsShow_data()
    {
        QTest::addColumn<QString>("before"); // mode of a candidate opened and committed first
        QTest::addColumn<QString>("shown"); // the option shown for a candidate without mode
        QTest::newRow("after a copy") << Copy << Copy;
        QTest::newRow("after a cut") << Cut << Cut;
        QTest::newRow("first in a fresh window") << QString() << QString();
    }

    void theCommitWritesTheModeTheOptionsShow()
    {
        QFETCH(QString, before);
        QFETCH(QString, shown);
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/a/"), before));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QStringLiteral("/b/"), QString()));
        if (!before.isEmpty()) {
            f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
            f.ListView1_DblClick();
            f.Command5_Click();
            QCOMPARE(app.ctx.candidates.at(0).mode, before);
        }
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(1, 0));
        f.ListView1_DblClick();
        const QString onScreen = f.Option1->isChecked() ? Copy
            : f.Option2->isChecked()                    ? Cut
            : f.Option3->isChecked()                    ? Delete
                                                        : QString();
        QCOMPARE(onScreen, shown);
        f.Command5_Click();
        // "完成" writes what the options showed: no mode when none was shown.
        QCOMPARE(app.ctx.candidates.at(1).mode, shown);
        QCOMPARE(app.ctx.candidates.at(1).destination, QStringLiteral("/b/"));
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
        // B has no mode: the options keep showing A's, which B will get.
        QVERIFY(f.Option1->isChecked());

        // Committing B (by opening C) gives it the box's text and the option shown.
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(2, 0));
        f.ListView1_DblClick();
        QCOMPARE(app.ctx.candidates.at(1).destination, QStringLiteral("/a/"));
        QCOMPARE(app.ctx.candidates.at(1).mode, Copy);
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

    void aCancelledBrowseKeepsTheBox()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/a/"), Copy));
        f.ListView1->setCurrentIndex(app.ctx.candidates.index(0, 0));
        f.ListView1_DblClick();
        f.Combo1->setEditText(QStringLiteral("/typed/"));
        // With and without a default destination to fall back on.
        for (const QString &fallback : {QString(), QStringLiteral("/def/")}) {
            app.ctx.m.defaultDest = fallback;
            expectDestinationCancelled(app.dialogs);
            f.Command4_Click();
            QCOMPARE(f.Combo1->currentText(), QStringLiteral("/typed/"));
            QCOMPARE(f.Combo1->count(), 1);
        }
        f.Command5_Click();
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/typed/"));
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
};

QTEST_MAIN(TestCandidateEditor)
#include "tst_candidate_editor.moc"
