#include "platform/qt/chinese_translations.h"
#include "platform/qt/qt_user_dialogs.h"
#include "platform/qt/widget_helpers.h"
#include "platform/system_disk_space.h"
#include "platform/system_file_queries.h"
#include "platform/throttled_event_yield.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
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

    void fileFiltersBecomeQtFilters()
    {
        QCOMPARE(QtUserDialogs::toQtFilter(QStringLiteral("文本文件(*.txt)|*.txt")), QStringLiteral("文本文件(*.txt)"));
        QCOMPARE(QtUserDialogs::toQtFilter(
                     QStringLiteral("所有文件(*.*)|*.*|音乐文件(*.mp3;*.m3u;*.wav)|*.mp3;*.m3u;*.wav")),
                 QStringLiteral("所有文件(*.*);;音乐文件(*.mp3 *.m3u *.wav)"));
        // A description without the patterns gets them appended.
        QCOMPARE(QtUserDialogs::toQtFilter(QStringLiteral("Text|*.txt;*.md")), QStringLiteral("Text (*.txt *.md)"));
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
};

QTEST_MAIN(TestPlatformSeams)
#include "tst_platform_seams.moc"
