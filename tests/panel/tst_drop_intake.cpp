#include "candidates/candidate_window.h"
#include "dialogs/add_task_dialog.h"
#include "model/texts.h"
#include "panel/panel_window.h"
#include "support/drops.h"
#include "support/test_app.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QtTest>

using Answer = UserDialogs::Answer;

namespace {

QStringList queuedSources(const AppContext &ctx)
{
    QStringList out;
    for (int i = 0; i < ctx.queue.count(); ++i)
        out << ctx.queue.task(i).sourcePath;
    return out;
}

void switchDefaultsOn(TestApp &app, const QString &dest = QStringLiteral("/backup/"))
{
    app.ctx.m.defaultDest = dest;
    app.form1->syswork.st_mode->trigger();
    QVERIFY(app.form1->syswork.st_mode->isChecked());
}

bool candidateWindowShown(const TestApp &app)
{
    return app.form7 && app.form7->isVisible();
}

} // namespace

class TestDropIntake : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void withDefaultsOnDroppedFilesEnterTheQueueInOrder()
    {
        TestApp app;
        switchDefaultsOn(app);
        app.files.plainFiles.insert(QStringLiteral("/m/a.txt"), 1500);
        app.files.plainFiles.insert(QStringLiteral("/m/b.txt"), 1024);
        dropPaths(app.form3, {QStringLiteral("/m/a.txt"), QStringLiteral("/m/b.txt"), QStringLiteral("/m/folder")});

        QCOMPARE(queuedSources(app.ctx),
                 (QStringList {QStringLiteral("/m/a.txt"), QStringLiteral("/m/b.txt"), QStringLiteral("/m/folder")}));
        const MoveTask &first = app.ctx.queue.task(0);
        QCOMPARE(first.name, QStringLiteral("a.txt"));
        QCOMPARE(first.sizeK, QStringLiteral("1.48"));
        QCOMPARE(first.destination, QStringLiteral("/backup/"));
        QCOMPARE(first.mode, QStringLiteral("复制"));
        QCOMPARE(first.remark, QString());
        // A folder has no size.
        QCOMPARE(app.ctx.queue.task(2).sizeK, QString());
        QCOMPARE(app.ctx.summary.text(1), QStringLiteral("复制的文件有3个"));
        QCOMPARE(app.ctx.summary.text(2), QStringLiteral("剪贴的文件有0个"));
        QCOMPARE(app.ctx.summary.text(4), QStringLiteral("共要移动的文件个数有3个"));
        // No window opens.
        QVERIFY(app.form4->isHidden());
        QVERIFY(!candidateWindowShown(app));
        VERIFY_DIALOGS(app.dialogs);
    }

    void theAddTaskDialogsDefaultBoxAlsoPutsTheDefaultsInForce()
    {
        TestApp app;
        app.ctx.m.defaultDest = QStringLiteral("/d/");
        app.ctx.m.defaultMode = Texts::ModeDelete;
        app.form4->Check1->setChecked(true);
        dropPaths(app.form3, {QStringLiteral("/x")});
        QCOMPARE(app.ctx.queue.count(), 1);
        // Queued delete tasks carry the default destination all the same.
        QCOMPARE(app.ctx.queue.task(0).destination, QStringLiteral("/d/"));
        QCOMPARE(app.ctx.queue.task(0).mode, Texts::ModeDelete);
    }

    void oneFileWithDefaultsOffGoesToTheAddTaskDialog()
    {
        TestApp app;
        Form4 *dialog = app.form4;
        dropPaths(app.form3, {QStringLiteral("/home/u/歌曲.mp3")});
        QCOMPARE(dialog->Text1->text(), QStringLiteral("/home/u/歌曲.mp3"));
        QCOMPARE(dialog->Text3->text(), QStringLiteral("歌曲.mp3"));
        QVERIFY(dialog->isVisible());
        QCOMPARE(app.form3->dropPath, QStringLiteral("/home/u/歌曲.mp3"));
        QCOMPARE(app.ctx.queue.count(), 0);

        // The same file again only writes the same texts.
        dialog->Text3->setText(QStringLiteral("edited"));
        dropPaths(app.form3, {QStringLiteral("/home/u/歌曲.mp3")});
        QCOMPARE(dialog->Text3->text(), QStringLiteral("歌曲.mp3"));
        QVERIFY(dialog->isVisible());
        QVERIFY(!candidateWindowShown(app));
        QCOMPARE(app.ctx.candidates.count(), 0);
    }

    void everyDropBringsItsWindowToTheFront()
    {
        TestApp app;
        Form4 *dialog = app.form4;
        app.form1->syswork.upcut->trigger();
        dropPaths(app.form3, {QStringLiteral("/home/u/a.txt")});
        QVERIFY(dialog->isVisible());
        // It shows the mode the task will take.
        QVERIFY(dialog->Option4->isChecked());

        // Covered by another window, the dialog comes back up on the next
        // drop; so does the candidate window.
        for (const QStringList &paths : {QStringList {QStringLiteral("/home/u/a.txt")},
                                         QStringList {QStringLiteral("/b"), QStringLiteral("/c")}}) {
            app.form1->show();
            app.form1->activateWindow();
            QTRY_COMPARE(QApplication::activeWindow(), app.form1);
            dropPaths(app.form3, paths);
            QTRY_COMPARE(QApplication::activeWindow(), paths.size() == 1 ? static_cast<QWidget *>(dialog) : app.form7);
            dialog->close();
        }
    }

    void aSecondFileWhileTheDialogHoldsAnotherSendsBothToTheCandidates()
    {
        TestApp app;
        Form4 *dialog = app.form4;
        app.files.plainFiles.insert(QStringLiteral("/a.txt"), 2048);
        dropPaths(app.form3, {QStringLiteral("/a.txt")});
        dialog->Combo1->setCurrentText(QStringLiteral("/dest/"));
        dialog->Text3->setText(QStringLiteral("renamed"));
        dropPaths(app.form3, {QStringLiteral("/b.txt")});

        QVERIFY(dialog->isHidden());
        // The dialog keeps its contents.
        QCOMPARE(dialog->Text1->text(), QStringLiteral("/a.txt"));
        QVERIFY(candidateWindowShown(app));
        const CandidateList &c = app.ctx.candidates;
        QCOMPARE(c.count(), 2);
        QCOMPARE(c.at(0).name, QStringLiteral("renamed"));
        QCOMPARE(c.at(0).sizeK, QStringLiteral("2"));
        QCOMPARE(c.at(0).sourcePath, QStringLiteral("/a.txt"));
        QCOMPARE(c.at(0).destination, QStringLiteral("/dest/"));
        QCOMPARE(c.at(0).mode, QString());
        QVERIFY(!c.at(0).ticked);
        QCOMPARE(c.at(1).name, QStringLiteral("b.txt"));
        QCOMPARE(c.at(1).destination, QString());
        QCOMPARE(c.at(1).mode, QString());
        QVERIFY(!c.at(1).ticked);
    }

    void severalFilesWithDefaultsOffBecomeTickedCandidates()
    {
        TestApp app;
        app.ctx.m.defaultDest = QStringLiteral("/d/");
        dropPaths(app.form3, {QStringLiteral("/a"), QStringLiteral("/b")});
        QVERIFY(candidateWindowShown(app));
        QCOMPARE(app.ctx.candidates.count(), 2);
        QVERIFY(app.ctx.candidates.at(0).ticked);
        QCOMPARE(app.ctx.candidates.at(0).mode, QStringLiteral("复制"));
        QCOMPARE(app.ctx.candidates.at(1).destination, QStringLiteral("/d/"));
        QCOMPARE(app.ctx.queue.count(), 0);

        // With "删除" as the default mode the destination reads "回收站".
        app.form1->syswork.updele->trigger();
        dropPaths(app.form3, {QStringLiteral("/c"), QStringLiteral("/e")});
        QCOMPARE(app.ctx.candidates.count(), 4);
        QCOMPARE(app.ctx.candidates.at(2).destination, QStringLiteral("回收站"));
        QCOMPARE(app.ctx.candidates.at(3).mode, QStringLiteral("删除"));
    }

    void aMinimisedCandidateWindowIsRestoredByTheNextDrop()
    {
        TestApp app;
        dropPaths(app.form3, {QStringLiteral("/a"), QStringLiteral("/b")});
        app.form7->showMinimized();
        QVERIFY(app.form7->isMinimized());
        dropPaths(app.form3, {QStringLiteral("/c"), QStringLiteral("/e")});
        QVERIFY(!app.form7->isMinimized());
        QCOMPARE(app.ctx.candidates.count(), 4);
    }

    void aQueuedPathDroppedAgainAndConfirmedMovesToTheEnd()
    {
        TestApp app;
        switchDefaultsOn(app);
        dropPaths(app.form3, {QStringLiteral("/a"), QStringLiteral("/b")});
        app.dialogs.expectYesNo(QStringLiteral("/a已在队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                                Answer::Yes);
        dropPaths(app.form3, {QStringLiteral("/a")});
        QCOMPARE(queuedSources(app.ctx), (QStringList {QStringLiteral("/b"), QStringLiteral("/a")}));
        QCOMPARE(app.ctx.queue.counters().copyCount, 2);
        QCOMPARE(app.ctx.queue.counters().totalCount, 2);

        // Declined: nothing changes.
        app.dialogs.expectYesNo(QStringLiteral("/b已在队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                                Answer::No);
        dropPaths(app.form3, {QStringLiteral("/b")});
        QCOMPARE(queuedSources(app.ctx), (QStringList {QStringLiteral("/b"), QStringLiteral("/a")}));
        VERIFY_DIALOGS(app.dialogs);
    }

    void withDefaultsOffAConfirmedQueuedFileLeavesTheQueueForTheDialog()
    {
        TestApp app;
        switchDefaultsOn(app);
        dropPaths(app.form3, {QStringLiteral("/a")});
        app.form1->syswork.st_mode->trigger();
        QVERIFY(!app.form1->syswork.st_mode->isChecked());
        app.dialogs.expectYesNo(QStringLiteral("/a已在队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                                Answer::Yes);
        dropPaths(app.form3, {QStringLiteral("/a")});
        QCOMPARE(app.ctx.queue.count(), 0);
        QCOMPARE(app.ctx.summary.text(4), QStringLiteral("共要移动的文件个数有0个"));
        QCOMPARE(app.form4->Text1->text(), QStringLiteral("/a"));
        QVERIFY(app.form4->isVisible());
        VERIFY_DIALOGS(app.dialogs);
    }

    void severalPathsSkipDeclinedOnesAndKeepGoing()
    {
        TestApp app;
        app.ctx.m.defaultDest = QStringLiteral("/d/");
        dropPaths(app.form3, {QStringLiteral("/a"), QStringLiteral("/b")});
        // /a is a candidate already: No skips it, /c still comes in.
        app.dialogs.expectYesNo(QStringLiteral("/a已在候选队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                                Answer::No);
        app.dialogs.expectYesNo(QStringLiteral("/b已在候选队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                                Answer::Yes);
        dropPaths(app.form3, {QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c")});
        QCOMPARE(app.ctx.candidates.count(), 3);
        QCOMPARE(app.ctx.candidates.at(0).sourcePath, QStringLiteral("/a"));
        QCOMPARE(app.ctx.candidates.at(1).sourcePath, QStringLiteral("/b"));
        QCOMPARE(app.ctx.candidates.at(2).sourcePath, QStringLiteral("/c"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void withDefaultsOnADeclinedLastPathStillOpensNoWindow()
    {
        TestApp app;
        switchDefaultsOn(app);
        dropPaths(app.form3, {QStringLiteral("/b")});
        app.dialogs.expectYesNo(QStringLiteral("/b已在队列中,是否重新进入队列？"), QStringLiteral("Korvan说"),
                                Answer::No);
        dropPaths(app.form3, {QStringLiteral("/a"), QStringLiteral("/b")});
        QCOMPARE(queuedSources(app.ctx), (QStringList {QStringLiteral("/b"), QStringLiteral("/a")}));
        QVERIFY(!candidateWindowShown(app));
        VERIFY_DIALOGS(app.dialogs);
    }

    void aDropWithoutFilesDoesNothing()
    {
        TestApp app;
        QMimeData mime;
        mime.setText(QStringLiteral("/not/a/url"));
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(app.form3, &drop);
        QCoreApplication::processEvents();
        QVERIFY(app.form4->isHidden());
        QCOMPARE(app.ctx.queue.count(), 0);
        QCOMPARE(app.form3->dropPath, QString());
    }

    void theDefaultsAreReadAfreshForEveryPath()
    {
        TestApp app;
        app.ctx.m.defaultDest = QStringLiteral("/d/");
        // The user switches the defaults on while the first path is taken in.
        app.yield.onYield = [&] {
            if (!app.form1->syswork.st_mode->isChecked() && app.ctx.candidates.count() == 1)
                app.form1->syswork.st_mode->trigger();
        };
        dropPaths(app.form3, {QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c")});
        app.yield.onYield = nullptr;
        QCOMPARE(app.ctx.candidates.count(), 1);
        QCOMPARE(queuedSources(app.ctx), (QStringList {QStringLiteral("/b"), QStringLiteral("/c")}));
        // The defaults are on at the end, so no window opens.
        QVERIFY(!candidateWindowShown(app));
    }

    void thePanelShowsItWillTakeFilesWhileTheyAreDraggedOverIt()
    {
        TestApp app;
        QWidget *panel = app.form3;
        const QImage face = panel->grab().toImage();
        const auto send = [&](QEvent &&event) { QCoreApplication::sendEvent(panel, &event); };
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(QStringLiteral("/music/a.mp3"))});
        QMimeData text;
        text.setText(QStringLiteral("no files"));

        // Something that is no file: the face stays as it is.
        send(QDragEnterEvent(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier));
        QCOMPARE(panel->grab().toImage(), face);
        send(QDragLeaveEvent());

        // Files: highlighted while over it, the face again when they leave.
        send(QDragEnterEvent(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier));
        send(QDragMoveEvent(QPoint(9, 9), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier));
        QVERIFY(panel->grab().toImage() != face);
        send(QDragLeaveEvent());
        QCOMPARE(panel->grab().toImage(), face);

        // ...and when they are dropped.
        send(QDragEnterEvent(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier));
        QVERIFY(panel->grab().toImage() != face);
        send(QDropEvent(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier));
        QCOMPARE(panel->grab().toImage(), face);
        QTRY_COMPARE(app.form4->Text1->text(), QStringLiteral("/music/a.mp3"));
    }
};

QTEST_MAIN(TestDropIntake)
#include "tst_drop_intake.moc"
