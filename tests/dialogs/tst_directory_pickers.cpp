#include "dialogs/add_task_dialog.h"
#include "dialogs/directory_list.h"
#include "dialogs/directory_pickers.h"
#include "directory_picker_fixture.h"
#include "platform/disk_space_queries.h"
#include "support/pickers.h"
#include "support/test_app.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <unistd.h>

class TestDirectoryPickers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void pickersOpenAtHomeWithTheirCaptions()
    {
        TestApp app;
        Form5 dest(app.ctx);
        QCOMPARE(dest.windowTitle(), QStringLiteral("保存到的目录"));
        QCOMPARE(dest.TabStrip1->count(), 1);
        QCOMPARE(dest.TabStrip1->tabText(0), QStringLiteral("保存..."));
        QCOMPARE(dest.Command3->text(), QStringLiteral("确定"));
        QCOMPARE(dest.Command2->text(), QStringLiteral("取消"));
        QCOMPARE(dest.Command1->text(), QStringLiteral("新建文件夹"));
        QCOMPARE(dest.currentPath(), QDir::cleanPath(QDir::homePath()));

        Form2 source(app.ctx);
        QCOMPARE(source.windowTitle(), QStringLiteral("要移动的正个目录"));
        QCOMPARE(source.TabStrip1->tabText(0), QStringLiteral("目录"));
        QCOMPARE(source.Command2->text(), QStringLiteral("确定"));
        QCOMPARE(source.Command1->text(), QStringLiteral("取消"));
        QCOMPARE(source.currentPath(), QDir::cleanPath(QDir::homePath()));
    }

    void destinationIsWrittenBackEndingInOneSeparator_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("dest");
        QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/");
        QTest::newRow("nested, case kept") << QStringLiteral("/home/ann/Games") << QStringLiteral("/home/ann/Games/");
    }

    void destinationIsWrittenBackEndingInOneSeparator()
    {
        QFETCH(QString, dir);
        QFETCH(QString, dest);
        TestApp app;
        expectDestinationChosen(app.dialogs, dir);
        showForm5(app.ctx);
        QCOMPARE(app.ctx.m.defaultDest, dest);
        QCOMPARE(app.form4->Combo1->currentText(), dest);
        QCOMPARE(app.form4->Combo1->count(), 1);
        QVERIFY(!app.ctx.openModal);
        VERIFY_DIALOGS(app.dialogs);
    }

    void choosingOneDestinationTwiceLeavesTwoEntries()
    {
        TestApp app;
        for (int i = 0; i < 2; ++i) {
            expectDestinationChosen(app.dialogs, QStringLiteral("/srv/share"));
            showForm5(app.ctx);
        }
        QComboBox *combo = app.form4->Combo1;
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(0), QStringLiteral("/srv/share/"));
        QCOMPARE(combo->itemText(1), QStringLiteral("/srv/share/"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void cancelWritesNothing()
    {
        TestApp app;
        app.ctx.m.defaultDest = QStringLiteral("/before/");
        app.dialogs.expectModal([&](QDialog *d) {
            // The picker is the open modal window while it runs.
            if (app.ctx.openModal != d)
                return int(QDialog::Accepted);
            auto *picker = qobject_cast<Form5 *>(d);
            picker->setCurrentPath(QStringLiteral("/elsewhere"));
            picker->Command2->click();
            return picker->result();
        });
        showForm5(app.ctx);
        QCOMPARE(app.ctx.m.defaultDest, QStringLiteral("/before/"));
        QCOMPARE(app.form4->Combo1->count(), 0);
        QVERIFY(!app.ctx.openModal);
        VERIFY_DIALOGS(app.dialogs);
    }

    void theSourcesOwnFolderIsRefused()
    {
        TestApp app;
        Form4 &addTask = *app.form4;
        addTask.Text1->setText(QStringLiteral("/data/music/song.mp3"));
        addTask.Text3->setText(QStringLiteral("song.mp3"));
        Form5 picker(app.ctx);
        picker.setCurrentPath(QStringLiteral("/data/music"));
        app.dialogs.expectMessage(QStringLiteral("目地地址与原地址相同 无法进行移动！！"), kKorvan);
        picker.Command3->click();
        QCOMPARE(picker.result(), int(QDialog::Rejected));
        QVERIFY(app.ctx.m.defaultDest.isEmpty());
        QCOMPARE(addTask.Combo1->count(), 0);
        VERIFY_DIALOGS(app.dialogs);
    }

    void theSamePlaceCheckComparesExactly_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("name");
        QTest::newRow("letter case differs") << QStringLiteral("/data/Music/song.mp3") << QStringLiteral("song.mp3");
        QTest::newRow("empty dialog") << QString() << QString();
    }

    void theSamePlaceCheckComparesExactly()
    {
        QFETCH(QString, source);
        QFETCH(QString, name);
        TestApp app;
        app.form4->Text1->setText(source);
        app.form4->Text3->setText(name);
        Form5 picker(app.ctx);
        picker.setCurrentPath(QStringLiteral("/data/music"));
        picker.Command3->click();
        QCOMPARE(picker.result(), int(QDialog::Accepted));
        QCOMPARE(app.ctx.m.defaultDest, QStringLiteral("/data/music/"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void wholeDirectoryBecomesTheSource_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("name");
        QTest::newRow("nested") << QStringLiteral("/data/Music/Pop") << QStringLiteral("Pop");
        QTest::newRow("root") << QStringLiteral("/") << QString();
    }

    void wholeDirectoryBecomesTheSource()
    {
        QFETCH(QString, dir);
        QFETCH(QString, name);
        TestApp app;
        app.form4->Combo1->setCurrentText(QStringLiteral("/keep/"));
        expectDirectoryChosen(app.dialogs, dir);
        // The add-task dialog's "添加要移动目录" opens the picker and takes its choice.
        app.form4->Command3_Click();
        QCOMPARE(app.form4->Text1->text(), dir);
        QCOMPARE(app.form4->Text3->text(), name);
        // Nothing else is written.
        QVERIFY(app.ctx.m.defaultDest.isEmpty());
        QCOMPARE(app.form4->Combo1->currentText(), QStringLiteral("/keep/"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void driveListOffersTheVolumesAndIgnoresOnesThatCannotOpen()
    {
        QTemporaryDir volume;
        QVERIFY(volume.isValid());
        makeDirs(volume.path(), {QStringLiteral("sub")});
        TestApp app;
        app.disk.volumes = {VolumeInfo {volume.path(), QStringLiteral("usb")},
                            VolumeInfo {QStringLiteral("/no/such/volume"), QString()}};
        app.disk.figures.insert(QStringLiteral("/"), DiskFreeSpace {1, 4096, 1, 2});
        app.disk.figures.insert(volume.path(), DiskFreeSpace {1, 4096, 1, 2});
        app.disk.figures.insert(QStringLiteral("/no/such/volume"), DiskFreeSpace {1, 4096, 1, 2});
        Form2 picker(app.ctx);
        QComboBox *drives = picker.Drive1;
        // The root is always offered, first.
        QCOMPARE(drives->count(), 3);
        QCOMPARE(drives->itemData(0).toString(), QStringLiteral("/"));
        QCOMPARE(drives->itemText(1), volume.path() + QStringLiteral(" [usb]"));

        picker.setCurrentPath(volume.filePath(QStringLiteral("sub")));
        QCOMPARE(drives->currentIndex(), 1);

        drives->setCurrentIndex(2);
        picker.Drive1_Change();
        settle(picker);
        QCOMPARE(picker.currentPath(), volume.filePath(QStringLiteral("sub")));
        QCOMPARE(drives->currentIndex(), 1);

        drives->setCurrentIndex(0);
        picker.Drive1_Change();
        settle(picker);
        QCOMPARE(picker.currentPath(), QStringLiteral("/"));
        drives->setCurrentIndex(1);
        picker.Drive1_Change();
        settle(picker);
        QCOMPARE(picker.currentPath(), volume.path());

        // A volume that does not answer is ignored, and the picker goes on
        // meanwhile.
        picker.volumeProbe->setTimeLimit(100);
        app.disk.hung = {volume.path()};
        picker.setCurrentPath(QStringLiteral("/"));
        drives->setCurrentIndex(1);
        picker.Drive1_Change();
        QTRY_COMPARE(app.disk.queriedSoFar().count(volume.path()), 2);
        settle(picker);
        QCOMPARE(picker.currentPath(), QStringLiteral("/"));
        QCOMPARE(drives->currentIndex(), 0);
        app.disk.release();
        VERIFY_DIALOGS(app.dialogs);
    }

    void driveListIsReadAgainWhenItOpens()
    {
        QTemporaryDir volume;
        QTemporaryDir stick;
        QVERIFY(volume.isValid() && stick.isValid());
        TestApp app;
        app.disk.volumes = {VolumeInfo {volume.path(), QString()},
                            VolumeInfo {QStringLiteral("/no/such/volume"), QString()}};
        Form5 picker(app.ctx);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        picker.setCurrentPath(volume.path());
        // Media mounted and unmounted while the picker is open.
        app.disk.volumes = {VolumeInfo {volume.path(), QString()}, VolumeInfo {stick.path(), QStringLiteral("STICK")}};
        app.disk.figures.insert(stick.path(), DiskFreeSpace {1, 4096, 1, 2});
        picker.Drive1->showPopup();
        QCOMPARE(picker.Drive1->count(), 3);
        QCOMPARE(picker.Drive1->itemText(2), stick.path() + QStringLiteral(" [STICK]"));
        QCOMPARE(picker.Drive1->currentData().toString(), volume.path());
        picker.Drive1->hidePopup();
        picker.Drive1->setCurrentIndex(2);
        emit picker.Drive1->activated(2);
        settle(picker);
        QCOMPARE(picker.currentPath(), stick.path());
    }

    void okTakesTheHighlightedFolderOrElseTheOpenOne_data()
    {
        QTest::addColumn<bool>("destination"); // Form5, else Form2
        QTest::addColumn<QString>("clicked"); // the folder clicked once, or none
        QTest::addColumn<QString>("chosen");
        QTest::newRow("destination, subfolder") << true << QStringLiteral("Fotos") << QStringLiteral("Fotos");
        QTest::newRow("destination, folder above") << true << QStringLiteral("..") << QStringLiteral("..");
        QTest::newRow("destination, nothing highlighted") << true << QString() << QString();
        QTest::newRow("source, subfolder") << false << QStringLiteral("Fotos") << QStringLiteral("Fotos");
        QTest::newRow("source, nothing highlighted") << false << QString() << QString();
    }

    void okTakesTheHighlightedFolderOrElseTheOpenOne()
    {
        QFETCH(bool, destination);
        QFETCH(QString, clicked);
        QFETCH(QString, chosen);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString open = tmp.filePath(QStringLiteral("open"));
        makeDirs(open, {QStringLiteral("Fotos"), QStringLiteral("Musik")});
        TestApp app;
        std::unique_ptr<DirectoryPicker> picker;
        if (destination)
            picker = std::make_unique<Form5>(app.ctx);
        else
            picker = std::make_unique<Form2>(app.ctx);
        picker->show();
        picker->setCurrentPath(open);
        DirectoryList *list = picker->Dir1;
        QTreeWidgetItem *item = nullptr;
        if (clicked == QStringLiteral(".."))
            item = list->currentItem()->parent();
        else if (!clicked.isEmpty())
            item = list->findItems(clicked, Qt::MatchExactly | Qt::MatchRecursive).value(0);
        if (item) {
            list->scrollToItem(item);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
        } else {
            list->clearSelection();
        }
        if (auto *form5 = qobject_cast<Form5 *>(picker.get()))
            form5->Command3->click();
        else
            static_cast<Form2 *>(picker.get())->Command2->click();

        const QString expected = QDir::cleanPath(chosen.isEmpty() ? open : open + u'/' + chosen);
        QVERIFY(picker->chosen());
        QCOMPARE(QDir::cleanPath(*picker->chosen()), expected);
        if (destination)
            QCOMPARE(app.ctx.m.defaultDest, expected + u'/');
        // The open folder is still the one the list shows.
        QCOMPARE(picker->currentPath(), open);
        VERIFY_DIALOGS(app.dialogs);
    }

    void directoryListBrowsesInAndOut()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        makeDirs(tmp.path(), {QStringLiteral("b"), QStringLiteral("A/inner"), QStringLiteral(".hidden")});
        QFile file(tmp.filePath(QStringLiteral("file.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        TestApp app;
        Form5 picker(app.ctx);
        picker.show();
        DirectoryList *list = picker.Dir1;
        picker.setCurrentPath(tmp.path());
        // Folders only, hidden ones left out, sorted without regard to case.
        QCOMPARE(list->subfolderNames(), (QStringList {QStringLiteral("A"), QStringLiteral("b")}));

        // Enter opens the selected folder and does not press "确定".
        list->setCurrentItem(list->currentItem()->child(0));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(picker.currentPath(), tmp.filePath(QStringLiteral("A")));
        QVERIFY(picker.isVisible());
        QCOMPARE(list->subfolderNames(), QStringList {QStringLiteral("inner")});

        // Back out through the chain of folders above.
        QTreeWidgetItem *parentEntry = list->currentItem()->parent();
        list->setCurrentItem(parentEntry);
        QTest::keyClick(list, Qt::Key_Enter);
        QCOMPARE(picker.currentPath(), tmp.path());

        // Files and missing paths are not folders to open.
        QVERIFY(!list->openFolder(tmp.filePath(QStringLiteral("file.txt"))));
        QVERIFY(!list->openFolder(tmp.filePath(QStringLiteral("missing"))));
        QCOMPARE(picker.currentPath(), tmp.path());

        picker.Command3->click();
        QCOMPARE(app.ctx.m.defaultDest, tmp.path() + u'/');
        VERIFY_DIALOGS(app.dialogs);
    }
};

QTEST_MAIN(TestDirectoryPickers)
#include "tst_directory_pickers.moc"
