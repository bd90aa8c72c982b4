#include "gui/widget_helpers.h"
#include "platform/qt/chinese_translations.h"
#include "platform/qt/qt_user_dialogs.h"
#include "platform/system_disk_space.h"
#include "platform/system_file_queries.h"
#include "platform/throttled_event_yield.h"
#include "support/scripted_dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

class TestPlatformSeams : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void plainFilesAreVisibleRegularFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        auto make = [&](const QString &name, qint64 size) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(size, 'x'));
        };
        make(QStringLiteral("plain.txt"), 1500);
        make(QStringLiteral(".hidden"), 10);
        make(QStringLiteral("名字 带 空格"), 3);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("plain.txt")), dir.filePath(QStringLiteral("link"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("dangling"))));

        SystemFileQueries files;
        QVERIFY(files.isPlainFile(dir.filePath(QStringLiteral("plain.txt"))));
        QVERIFY(files.isPlainFile(dir.filePath(QStringLiteral("名字 带 空格"))));
        QVERIFY(files.isPlainFile(dir.filePath(QStringLiteral("link"))));
        QVERIFY(!files.isPlainFile(dir.filePath(QStringLiteral(".hidden"))));
        QVERIFY(!files.isPlainFile(dir.filePath(QStringLiteral("folder"))));
        QVERIFY(!files.isPlainFile(dir.filePath(QStringLiteral("missing"))));
        QVERIFY(!files.isPlainFile(dir.filePath(QStringLiteral("dangling"))));
        QVERIFY(!files.isPlainFile(QString()));
        QCOMPARE(files.length(dir.filePath(QStringLiteral("plain.txt"))), std::optional<qint64>(1500));
        QCOMPARE(files.length(dir.filePath(QStringLiteral("missing"))), std::optional<qint64>());
    }

    void freeSpaceOfTheRootVolumeIsReadable()
    {
        SystemDiskSpace disk;
        const std::optional<DiskFreeSpace> d = disk.query(QStringLiteral("/"));
        QVERIFY(d.has_value());
        QVERIFY(d->totalClusters > 0);
        QVERIFY(d->freeClusters <= d->totalClusters);
        QVERIFY(d->bytesPerSector * d->sectorsPerCluster > 0);
        QVERIFY(!disk.query(QStringLiteral("/no/such/volume")).has_value());
        bool rootListed = false;
        for (const VolumeInfo &v : disk.mountedVolumes())
            rootListed = rootListed || v.rootPath == QStringLiteral("/");
        QVERIFY(rootListed);
    }

    void theVolumeListHoldsDrivesWhereverTheyAreMounted()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString labels = dir.filePath(QStringLiteral("by-label"));
        QVERIFY(QDir().mkpath(labels));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), labels + QStringLiteral("/MY\\x20STICK")));
        QFile table(dir.filePath(QStringLiteral("mountinfo")));
        QVERIFY(table.open(QIODevice::WriteOnly));
        table.write("22 27 0:21 / /proc rw,relatime - proc proc rw\n"
                    "23 27 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
                    "25 24 0:23 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
                    "27 1 254:0 / / rw,relatime - ext4 /dev/vda1 rw\n"
                    "28 27 254:0 /var/lib/docker/containers/x/hosts /etc/hosts rw - ext4 /dev/vda1 rw\n"
                    "29 27 0:29 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                    "30 27 8:17 / /run/media/user/MY\\040STICK rw shared:1 - vfat /dev/null rw\n"
                    "31 27 8:33 / /media/user/disk rw - exfat /dev/sdc1 rw\n"
                    "32 27 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
                    "33 27 0:40 / /mnt/nas rw - nfs4 nas:/export rw\n"
                    "34 27 0:41 /@home /home rw - btrfs /dev/sda2 rw,subvol=/@home\n"
                    "35 27 0:41 /@home/u/bind /srv/bind rw - btrfs /dev/sda2 rw,subvol=/@home\n"
                    "36 27 0:42 / /var/lib/docker/overlay2/m rw - overlay overlay rw\n"
                    "37 27 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
                    "38 27 0:43 / /mnt/over rw - ext4 /dev/sdd1 rw\n"
                    "39 38 0:44 / /mnt/over rw - tmpfs tmpfs rw\n"
                    "garbage\n");
        table.close();
        SystemDiskSpace disk(table.fileName(), labels);
        QStringList listed;
        for (const VolumeInfo &v : disk.mountedVolumes())
            listed << v.rootPath + u'|' + v.label;
        QCOMPARE(listed,
                 (QStringList {QStringLiteral("/|"), QStringLiteral("/home|"), QStringLiteral("/media/user/disk|"),
                               QStringLiteral("/mnt/nas|nas:/export"),
                               QStringLiteral("/run/media/user/MY STICK|MY STICK")}));
    }

    void fileFiltersBecomeQtFilters()
    {
        QCOMPARE(QtUserDialogs::toQtFilters(QStringLiteral("文本文件(*.txt)|*.txt")),
                 QStringList {QStringLiteral("文本文件(*.txt) (*.txt)")});
        QCOMPARE(QtUserDialogs::toQtFilters(
                     QStringLiteral("所有文件(*.*)|*.*|音乐文件(*.mp3;*.m3u;*.wav)|*.mp3;*.m3u;*.wav")),
                 (QStringList {QStringLiteral("所有文件(*.*) (*)"),
                               QStringLiteral("音乐文件(*.mp3;*.m3u;*.wav) (*.mp3 *.m3u *.wav)")}));
        QCOMPARE(QtUserDialogs::toQtFilters(QStringLiteral("Text|*.txt;*.md")),
                 QStringList {QStringLiteral("Text (*.txt *.md)")});
    }

    void theOpenDialogShowsTheFiltersAsWrittenAndListsEveryFileUnderAllFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char *name : {"README", "a.txt", "song.mp3"}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(3000, 'x'));
        }
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
        const auto dialog = QtUserDialogs::fileDialog(
            QFileDialog::AcceptOpen, QStringLiteral("打开"), dir.path(),
            QStringLiteral("所有文件(*.*)|*.*|文本文件(*.txt)|*.txt|音乐文件(*.mp3;*.m3u;*.wav)|*.mp3;*.m3u;*.wav"));
        dialog->show();
        auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        QVERIFY(types);
        QCOMPARE(types->itemText(0), QStringLiteral("所有文件(*.*)"));
        QCOMPARE(types->itemText(2), QStringLiteral("音乐文件(*.mp3;*.m3u;*.wav)"));

        auto *view = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
        QVERIFY(view);
        auto listed = [view] {
            QMap<QString, QStringList> rows;
            const QAbstractItemModel *m = view->model();
            for (int r = 0; r < m->rowCount(view->rootIndex()); ++r) {
                // A name the filter leaves out is shown greyed, if at all.
                if (!m->index(r, 0, view->rootIndex()).flags().testFlag(Qt::ItemIsEnabled))
                    continue;
                QStringList cols;
                for (int c = 0; c < 4; ++c)
                    cols << m->index(r, c, view->rootIndex()).data().toString();
                rows.insert(cols.takeFirst(), cols);
            }
            return rows;
        };
        QTRY_COMPARE(listed().keys(),
                     (QStringList {QStringLiteral("README"), QStringLiteral("a.txt"), QStringLiteral("folder"),
                                   QStringLiteral("song.mp3")}));
        // Sizes, dates and the folder's type in Chinese.
        const QMap<QString, QStringList> rows = listed();
        QCOMPARE(rows.value(QStringLiteral("folder")).value(1), QStringLiteral("文件夹"));
        QVERIFY2(!rows.value(QStringLiteral("README")).value(0).contains(QStringLiteral("KiB")),
                 qPrintable(rows.value(QStringLiteral("README")).value(0)));
        const QDateTime modified = QFileInfo(dir.filePath(QStringLiteral("README"))).lastModified();
        QCOMPARE(rows.value(QStringLiteral("README")).value(2),
                 QLocale(QLocale::Chinese, QLocale::China).toString(modified, QLocale::ShortFormat));

        dialog->selectNameFilter(dialog->nameFilters().at(2));
        QTRY_COMPARE(listed().keys(), (QStringList {QStringLiteral("folder"), QStringLiteral("song.mp3")}));
    }

    void theSaveDialogAddsTheOnlyExtensionToABareName()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const auto &[typed, saved] : {std::pair {QStringLiteral("report"), QStringLiteral("report.txt")},
                                           std::pair {QStringLiteral("report.log"), QStringLiteral("report.log")}}) {
            const auto dialog = QtUserDialogs::fileDialog(QFileDialog::AcceptSave, QStringLiteral("请你签字！！"),
                                                          dir.path(), QStringLiteral("文本文件(*.txt)|*.txt"));
            dialog->show();
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(typed);
            static_cast<QDialog *>(dialog.get())->accept(); // as "保存" does
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
            QCOMPARE(dialog->selectedFiles(), QStringList {dir.filePath(saved)});
        }
    }

    void yieldingTooOftenIsSkippedButInputStillComesThrough()
    {
        ThrottledEventYield yield(50);
        int delivered = 0;
        QTimer::singleShot(0, this, [&] { ++delivered; });
        yield.yield(); // the first yield always runs the loop
        QCOMPARE(delivered, 1);
        QTimer::singleShot(0, this, [&] { ++delivered; });
        yield.yield(); // moments later: skipped
        QCOMPARE(delivered, 1);
        QTest::qSleep(60);
        yield.yield();
        QCOMPARE(delivered, 2);
    }

    void dialogsShowNamesLiterallyClearOfThePanel()
    {
        // A stand-in for the panel, where a centred box would lie.
        QWidget panel(nullptr, Qt::Tool | Qt::FramelessWindowHint);
        panel.setGeometry(QRect(QPoint(), QSize(37, 36)).translated(panel.screen()->availableGeometry().center()));
        panel.show();
        QtUserDialogs dialogs;
        dialogs.setAnchor(&panel);
        QList<QRect> frames;
        Qt::TextFormat format = Qt::AutoText;
        const auto answer = [&](auto check) {
            QTimer::singleShot(0, [&, check] { check(QApplication::activeModalWidget()); });
        };
        answer([&](QWidget *w) {
            frames << w->frameGeometry();
            format = static_cast<QMessageBox *>(w)->textFormat();
            static_cast<QMessageBox *>(w)->done(QMessageBox::No);
        });
        dialogs.askYesNo(QStringLiteral("/tmp/<i>x.txt已在队列中,是否重新进入队列？"), QStringLiteral("Korvan说"));
        QCOMPARE(format, Qt::PlainText);
        answer([&](QWidget *w) {
            frames << w->frameGeometry();
            static_cast<QDialog *>(w)->reject();
        });
        dialogs.inputBox(QStringLiteral("请输入备注:"), QStringLiteral("Korvan"), QString());
        QCOMPARE(frames.size(), 2);
        QVERIFY(!frames.at(0).intersects(panel.frameGeometry()) && !frames.at(1).intersects(panel.frameGeometry()));
        // Tool tips guess their format: a path holding "<i>" stays as it is.
        QTextDocument tip;
        tip.setHtml(plainToolTip(QStringLiteral("/home/u/<i>斜体.txt")));
        QCOMPARE(tip.toPlainText(), QStringLiteral("/home/u/<i>斜体.txt"));
        QCOMPARE(plainToolTip(QStringLiteral("/home/u/R&D.txt")), QStringLiteral("/home/u/R&D.txt"));
    }

    void standardButtonsReadChinese()
    {
        if (!installChineseTranslations(*QCoreApplication::instance()))
            QSKIP("Qt's zh_CN catalogues are not installed (qt6-translations-l10n)");
        QDialogButtonBox box(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Ok
                             | QDialogButtonBox::Cancel);
        auto text = [&](QDialogButtonBox::StandardButton b) { return box.button(b)->text().remove(u'&'); };
        QVERIFY2(text(QDialogButtonBox::Yes).startsWith(QStringLiteral("是")), qPrintable(text(QDialogButtonBox::Yes)));
        QVERIFY(text(QDialogButtonBox::No).startsWith(QStringLiteral("否")));
        QVERIFY(text(QDialogButtonBox::Ok).startsWith(QStringLiteral("确定")));
        QVERIFY(text(QDialogButtonBox::Cancel).startsWith(QStringLiteral("取消")));
    }

    void scriptedDialogsSeeTheWindowsTheyAnswer()
    {
        // The dialogs double is built with Qt Core alone; its window half comes
        // with the GUI test support: an unscripted modal window is rejected
        // and reported by its title.
        ScriptedDialogs dialogs;
        QDialog window;
        window.setWindowTitle(QStringLiteral("添加任务"));
        QSignalSpy rejected(&window, &QDialog::rejected);
        QCOMPARE(dialogs.execModal(&window), int(QDialog::Rejected));
        QCOMPARE(rejected.count(), 1);
        QCOMPARE(dialogs.asked.size(), 1);
        QCOMPARE(dialogs.asked.first().text, QStringLiteral("添加任务"));
        QVERIFY(!dialogs.clean());
        QVERIFY(dialogs.report().contains("添加任务"));
    }
};

QTEST_MAIN(TestPlatformSeams)
#include "tst_platform_seams.moc"
