#include "add_task_fixture.h"
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

class TestAddTaskDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void startsHiddenQueueingCopiesWithEveryCaption()
    {
        TestApp app;
        Form4 &f = *app.form4;
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
        Form4 &f = *app.form4;
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
        Form4 &f = *app.form4;
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
        Form4 &f = *app.form4;
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
        Form4 &f = *app.form4;
        const QRect screen = app.form3->screen()->availableGeometry();
        // The panel sits where a centred dialog's top edge would be.
        const int dialogTop = screen.center().y() - f.sizeHint().height() / 2;
        app.form3->move(screen.center().x() - 18, dialogTop);
        app.form3->takeDrop({kSong});
        QVERIFY(!f.frameGeometry().intersects(app.form3->frameGeometry()));
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

    void defaultBoxNeedsADestinationFirst()
    {
        TestApp app;
        Form4 &f = *app.form4;
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
        Form4 &f = *app.form4;
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
        Form4 &f = *app.form4;
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
        app.form3->takeDrop({kSong});
        Form4 &f = *app.form4;
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
