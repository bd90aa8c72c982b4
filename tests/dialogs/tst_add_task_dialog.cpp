#include "dialogs/add_task_dialog.h"
#include "dialogs/directory_pickers.h"
#include "panel/panel_window.h"
#include "support/pickers.h"
#include "support/test_app.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

using Answer = UserDialogs::Answer;

namespace {

const QString kCopy = QStringLiteral("复制");
const QString kCut = QStringLiteral("剪贴");
const QString kDelete = QStringLiteral("删除");
const QString kTitleSays = QStringLiteral("Korvan说");
const QString kMissingForQueue = QStringLiteral("没有输入原文件地地或目地地址 请确认！");
const QString kMissingForNow = QStringLiteral("没有准确的目地地址");
const QString kSong = QStringLiteral("/home/ann/music/song.mp3");
const QString kBackup = QStringLiteral("/backup/");

QString alreadyQueued(const QString &path)
{
    return path + QStringLiteral("已在队列中,是否重新进入队列？");
}

MoveTask queuedTask(const QString &path, const QString &mode)
{
    MoveTask t;
    t.name = QFileInfo(path).fileName();
    t.sourcePath = path;
    t.destination = QStringLiteral("/old/");
    t.mode = mode;
    return t;
}

// The dialog showing a source, a destination and a remark, as a user leaves it.
Form4 &filledDialog(TestApp &app, const QString &source = kSong, const QString &dest = kBackup)
{
    Form4 &f = *app.ctx.form4;
    f.show();
    f.Text1->setText(source);
    f.Text3->setText(QFileInfo(source).fileName());
    f.Combo1->setCurrentText(dest);
    f.Text4->setText(QStringLiteral("周末"));
    return f;
}

QList<int> counts(const TestApp &app)
{
    const QueueCounters &c = app.ctx.queue.counters();
    return {c.copyCount, c.cutCount, c.deleteCount, c.totalCount};
}

} // namespace

class TestAddTaskDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void startsHiddenQueueingCopiesWithEveryCaption()
    {
        TestApp app;
        Form4 &f = *app.ctx.form4;
        QVERIFY(f.isHidden());
        QCOMPARE(f.windowTitle(), QStringLiteral("添加新任务"));
        QCOMPARE(f.StartMode, QStringLiteral("手动"));
        QCOMPARE(app.ctx.m.defaultMode, kCopy);
        QVERIFY(f.Option2->isChecked());
        QVERIFY(f.Option3->isChecked());
        QVERIFY(!f.Check1->isChecked());
        QVERIFY(f.Combo1->isEditable());

        QCOMPARE(f.TabStrip1->count(), 1);
        QCOMPARE(f.TabStrip1->tabText(0), QStringLiteral("新任务"));
        const QList<std::pair<QString, QString>> captions = {
            {f.Frame1->title(), QStringLiteral("原地址：")},
            {f.Label1->text(), QStringLiteral("文件名：")},
            {f.Frame2->title(), QStringLiteral("目地地址：")},
            {f.Frame3->title(), QStringLiteral("开始...")},
            {f.Frame4->title(), QStringLiteral("移动方式：")},
            {f.Frame5->title(), QStringLiteral("备注：")},
            {f.Command1->text(), QStringLiteral("...")},
            {f.Command2->text(), QStringLiteral("...")},
            {f.Option2->text(), QStringLiteral("手动")},
            {f.Option1->text(), QStringLiteral("立即")},
            {f.Option5->text(), kDelete},
            {f.Option4->text(), kCut},
            {f.Option3->text(), kCopy},
            {f.Check1->text(), QStringLiteral("使用本次设置成为默认设置 以后不再提问！")},
            {f.Command3->text(), QStringLiteral("添加要移动目录")},
            {f.Command5->text(), QStringLiteral("确定")},
            {f.Command6->text(), QStringLiteral("下一个")},
            {f.Command4->text(), QStringLiteral("取消")},
        };
        for (const auto &[shown, designed] : captions)
            QCOMPARE(shown, designed);
        // The two option groups are independent.
        f.Option1->click();
        f.Option5->click();
        QVERIFY(f.Option1->isChecked());
        QVERIFY(f.Option5->isChecked());
        QVERIFY(!f.Option2->isChecked());
    }

    void optionsWriteStartModeAndTheSharedMode()
    {
        TestApp app;
        Form4 &f = *app.ctx.form4;
        f.Option1->click();
        QCOMPARE(f.StartMode, QStringLiteral("立即"));
        f.Option2->click();
        QCOMPARE(f.StartMode, QStringLiteral("手动"));
        f.Option4->click();
        QCOMPARE(app.ctx.m.defaultMode, kCut);
        f.Option5->click();
        QCOMPARE(app.ctx.m.defaultMode, kDelete);
        f.Option3->click();
        QCOMPARE(app.ctx.m.defaultMode, kCopy);
    }

    void okQueuesTheTaskAsShownAndMarksItsMode()
    {
        TestApp app;
        app.files.plainFiles.insert(kSong, 1500);
        Form4 &f = filledDialog(app);
        f.Option4->click();
        f.Command5->click();

        QVERIFY(f.isHidden());
        QCOMPARE(app.ctx.queue.count(), 1);
        const MoveTask &t = app.ctx.queue.task(0);
        QCOMPARE(t.name, QStringLiteral("song.mp3"));
        QCOMPARE(t.sizeK, QStringLiteral("1.48"));
        QCOMPARE(t.sourcePath, kSong);
        QCOMPARE(t.destination, kBackup);
        QCOMPARE(t.mode, kCut);
        QCOMPARE(t.remark, QStringLiteral("周末"));
        QCOMPARE(counts(app), (QList<int> {0, 1, 0, 1}));
        QVERIFY(app.form1->syswork.upcut->isChecked());
        QVERIFY(!app.form1->syswork.upcopy->isChecked());
        QVERIFY(!app.form1->syswork.updele->isChecked());
        QVERIFY(app.engine.performed.isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }

    void theModeOptionsShowTheModeACommitTakes()
    {
        TestApp app;
        // The panel menu chose "剪贴" while the dialog was hidden ...
        app.form1->syswork.upcut->trigger();
        app.form1->form4show();
        Form4 &f = *app.ctx.form4;
        QVERIFY(f.Option4->isChecked());
        // ... and "删除" while it is open.
        app.form1->syswork.updele->trigger();
        QVERIFY(f.Option5->isChecked() && !f.Option4->isChecked());
        // A folder and an empty name are both accepted.
        f.Text1->setText(QStringLiteral("/home/ann/photos"));
        f.Combo1->setCurrentText(kBackup);
        f.Command5->click();

        QCOMPARE(app.ctx.queue.count(), 1);
        const MoveTask &t = app.ctx.queue.task(0);
        QCOMPARE(t.mode, kDelete);
        QVERIFY(t.sizeK.isEmpty());
        QVERIFY(t.name.isEmpty());
        QVERIFY(app.form1->syswork.updele->isChecked());
        VERIFY_DIALOGS(app.dialogs);
    }

    void aClickOnTheCheckedModeOptionStillSetsTheMode()
    {
        TestApp app;
        Form4 &f = *app.ctx.form4;
        f.show();
        // "复制" is checked; a word is written where no window hears of it.
        app.ctx.m.defaultMode = kCut;
        f.Option3->click();
        QCOMPARE(app.ctx.m.defaultMode, kCopy);
        // The panel menu's mode marks follow the dialog's choice at once.
        f.Option4->click();
        QVERIFY(app.form1->syswork.upcut->isChecked() && !app.form1->syswork.upcopy->isChecked());
    }

    void opensOnThePanelsScreenClearOfThePanelWithTheKeyboardInTheFirstEmptyField()
    {
        TestApp app;
        Form4 &f = *app.ctx.form4;
        const QRect screen = app.ctx.form3->screen()->availableGeometry();
        // The panel sits where a centred dialog's top edge would be.
        const int dialogTop = screen.center().y() - f.sizeHint().height() / 2;
        app.ctx.form3->move(screen.center().x() - 18, dialogTop);
        app.ctx.form3->takeDrop({kSong});
        QVERIFY(!f.frameGeometry().intersects(app.ctx.form3->frameGeometry()));
        QVERIFY(screen.contains(f.frameGeometry()));
        QVERIFY(qAbs(f.frameGeometry().center().x() - screen.center().x()) <= 8);
        // Source and name are filled in: the destination is asked for next.
        QVERIFY(f.Combo1->isAncestorOf(f.focusWidget()) || f.focusWidget() == f.Combo1);
        f.Command4->click();
        app.form1->form4show();
        QCOMPARE(f.focusWidget(), f.Text1);
    }

    void okWithoutSourceOrDestinationSaysSoAndStaysOpen_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("dest");
        QTest::newRow("no source") << QString() << kBackup;
        QTest::newRow("no destination") << kSong << QString();
    }

    void okWithoutSourceOrDestinationSaysSoAndStaysOpen()
    {
        QFETCH(QString, source);
        QFETCH(QString, dest);
        TestApp app;
        Form4 &f = filledDialog(app, source, dest);
        app.dialogs.expectMessage(kMissingForQueue);
        f.Command5->click();
        QVERIFY(f.isVisible());
        QCOMPARE(app.ctx.queue.count(), 0);
        QCOMPARE(f.Text1->text(), source);
        VERIFY_DIALOGS(app.dialogs);
    }

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

    void defaultBoxNeedsADestinationFirst()
    {
        TestApp app;
        Form4 &f = *app.ctx.form4;
        app.dialogs.expectMessage(QStringLiteral("没有设置目地地址，请设置！！"));
        expectDestinationChosen(app.dialogs, QStringLiteral("/srv/share"));
        f.Check1->click();
        QVERIFY(!f.Check1->isChecked());
        QVERIFY(!app.ctx.m.useDefaults);
        QCOMPARE(app.ctx.m.defaultDest, QStringLiteral("/srv/share/"));

        // Now a destination exists: the box takes.
        f.Check1->click();
        QVERIFY(f.Check1->isChecked());
        QVERIFY(app.ctx.m.useDefaults);
        f.Check1->click();
        QVERIFY(!app.ctx.m.useDefaults);
        VERIFY_DIALOGS(app.dialogs);
    }

    void openFileDialogFillsTheSourceAndCancelKeepsIt()
    {
        TestApp app;
        Form4 &f = *app.ctx.form4;
        app.dialogs.expectOpenFile(QStringLiteral("/home/ann/notes/todo.txt"));
        f.Command1->click();
        const ScriptedDialogs::Question &q = app.dialogs.asked.last();
        QCOMPARE(q.text, QStringLiteral("Korvan--请你选择..."));
        QCOMPARE(q.title, QDir::homePath());
        QCOMPARE(q.extra,
                 QStringLiteral("所有文件(*.*)|*.*|文本文件(*.txt)|*.txt|程序文件(*.exe)|*.exe|"
                                "音乐文件(*.mp3;*.m3u;*.wav)|*.mp3;*.m3u;*.wav"));
        QCOMPARE(f.Text1->text(), QStringLiteral("/home/ann/notes/todo.txt"));
        QCOMPARE(f.Text3->text(), QStringLiteral("todo.txt"));

        // A dropped path survives a cancelled file dialog.
        f.Text1->setText(kSong);
        f.Text3->setText(QStringLiteral("song.mp3"));
        app.dialogs.expectOpenFile(QString());
        f.Command1->click();
        QCOMPARE(f.Text1->text(), kSong);
        QCOMPARE(f.Text3->text(), QStringLiteral("song.mp3"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void directoryButtonTakesAWholeFolderAsSource()
    {
        TestApp app;
        Form4 &f = *app.ctx.form4;
        app.dialogs.expectModal([](QDialog *d) {
            auto *picker = qobject_cast<Form2 *>(d);
            if (!picker)
                return int(QDialog::Rejected);
            picker->setCurrentPath(QStringLiteral("/home/ann/Music/Pop"));
            picker->Command2->click();
            return picker->result();
        });
        f.Command3->click();
        QCOMPARE(f.Text1->text(), QStringLiteral("/home/ann/Music/Pop"));
        QCOMPARE(f.Text3->text(), QStringLiteral("Pop"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void closingOnlyHidesUntilTheProgramEnds()
    {
        TestApp app;
        Form4 &f = filledDialog(app);
        f.Command4->click();
        QVERIFY(f.isHidden());
        QCOMPARE(f.Text1->text(), kSong);
        f.show();
        QCloseEvent refused;
        QApplication::sendEvent(&f, &refused);
        QVERIFY(!refused.isAccepted());
        app.ctx.m.exitAllowed = true;
        QCloseEvent allowed;
        QApplication::sendEvent(&f, &allowed);
        QVERIFY(allowed.isAccepted());
    }

    void aSinglePathDroppedWithoutDefaultsIsCompletedHere_data()
    {
        QTest::addColumn<bool>("now");
        QTest::newRow("queued") << false;
        QTest::newRow("performed at once") << true;
    }

    void aSinglePathDroppedWithoutDefaultsIsCompletedHere()
    {
        QFETCH(bool, now);
        TestApp app;
        app.files.plainFiles.insert(kSong, 2048);
        app.ctx.form3->takeDrop({kSong});
        Form4 &f = *app.ctx.form4;
        QVERIFY(f.isVisible());
        QCOMPARE(f.Text1->text(), kSong);
        QCOMPARE(f.Text3->text(), QStringLiteral("song.mp3"));

        expectDestinationChosen(app.dialogs, QStringLiteral("/media/usb/Backup"));
        f.Command2->click();
        QCOMPARE(f.Combo1->currentText(), QStringLiteral("/media/usb/Backup/"));
        if (now)
            f.Option1->click();
        f.Command5->click();

        QVERIFY(f.isHidden());
        if (now) {
            QCOMPARE(app.engine.performed.size(), 1);
            QCOMPARE(app.engine.performed.first().pFrom, kSong);
            QCOMPARE(app.engine.performed.first().pTo, QStringLiteral("/media/usb/Backup/"));
            QCOMPARE(app.ctx.queue.count(), 0);
        } else {
            QVERIFY(app.engine.performed.isEmpty());
            QCOMPARE(app.ctx.queue.count(), 1);
            QCOMPARE(app.ctx.queue.task(0).sizeK, QStringLiteral("2"));
            QCOMPARE(app.ctx.queue.task(0).destination, QStringLiteral("/media/usb/Backup/"));
        }
        VERIFY_DIALOGS(app.dialogs);
    }
};

QTEST_MAIN(TestAddTaskDialog)
#include "tst_add_task_dialog.moc"
