#include "model/free_space.h"

#include <QtTest>

#include <limits>

using FreeSpace::Figures;

class TestFreeSpace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void figuresRoundToWholeGBAndMB_data()
    {
        QTest::addColumn<qint64>("sectorsPerCluster");
        QTest::addColumn<qint64>("bytesPerSector");
        QTest::addColumn<qint64>("freeClusters");
        QTest::addColumn<qint64>("totalClusters");
        QTest::addColumn<qint64>("totalGB");
        QTest::addColumn<qint64>("freeMB");

        // 0.0014 GB and 0.98 MB.
        QTest::newRow("floppy") << qint64(1) << qint64(512) << qint64(2000) << qint64(2847) << qint64(0) << qint64(1);
        // 9.5367 GB and 3906.25 MB.
        QTest::newRow("ten-gigabyte drive")
            << qint64(8) << qint64(512) << qint64(1000000) << qint64(2500000) << qint64(10) << qint64(3906);
        // 2.5 GB and 0.5 MB: halves go to the even neighbour.
        QTest::newRow("halves down to even")
            << qint64(1) << qint64(1024) << qint64(512) << qint64(2621440) << qint64(2) << qint64(0);
        // 3.5 GB and 1.5 MB.
        QTest::newRow("halves up to even")
            << qint64(1) << qint64(1024) << qint64(1536) << qint64(3670016) << qint64(4) << qint64(2);
        QTest::newRow("empty figures") << qint64(0) << qint64(0) << qint64(0) << qint64(0) << qint64(0) << qint64(0);
        // 4 TiB with 3 TiB free: far beyond what 32-bit figures could hold.
        QTest::newRow("volume over 2 TiB")
            << qint64(1) << qint64(4096) << qint64(805306368) << qint64(1073741824) << qint64(4096) << qint64(3145728);
        // 1 PiB of 64 KiB clusters.
        QTest::newRow("petabyte volume") << qint64(16) << qint64(4096) << qint64(17179869184LL) << qint64(17179869184LL)
                                         << qint64(1048576) << qint64(1073741824);
    }
    void figuresRoundToWholeGBAndMB()
    {
        QFETCH(qint64, sectorsPerCluster);
        QFETCH(qint64, bytesPerSector);
        QFETCH(qint64, freeClusters);
        QFETCH(qint64, totalClusters);
        QFETCH(qint64, totalGB);
        QFETCH(qint64, freeMB);
        const auto f = FreeSpace::figures(sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
        QVERIFY(f.has_value());
        QCOMPARE(f->totalGB, totalGB);
        QCOMPARE(f->freeMB, freeMB);
    }

    void figuresThatDoNotFitGiveNoRow()
    {
        // The cluster size itself overflows.
        QVERIFY(!FreeSpace::figures(qint64(1) << 40, qint64(1) << 40, 1, 1));
        // The sizes do not fit in 64 bits once converted.
        const qint64 huge = std::numeric_limits<qint64>::max();
        QVERIFY(!FreeSpace::figures(1, qint64(1) << 30, huge, 1));
        QVERIFY(!FreeSpace::figures(1, qint64(1) << 40, 1, huge));
    }

    void rootsAndDriveParts_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("driveLetter");
        QTest::addColumn<QString>("queried");
        QTest::addColumn<QString>("drivePart");

        QTest::newRow("drive letter alone")
            << QStringLiteral("c:") << true << QStringLiteral("c:\\") << QStringLiteral("C:");
        QTest::newRow("drive letter with label")
            << QStringLiteral("d: [DATA]") << true << QStringLiteral("d:\\") << QStringLiteral("D:");
        QTest::newRow("drive root with slash")
            << QStringLiteral("E:/") << true << QStringLiteral("E:\\") << QStringLiteral("E:");
        QTest::newRow("drive root with backslash")
            << QStringLiteral("f:\\") << true << QStringLiteral("f:\\") << QStringLiteral("F:");
        // Mount points have no letters: queried and shown as listed, case kept.
        QTest::newRow("root file system") << QStringLiteral("/") << false << QStringLiteral("/") << QStringLiteral("/");
        QTest::newRow("mount point") << QStringLiteral("/media/Stick") << false << QStringLiteral("/media/Stick")
                                     << QStringLiteral("/media/Stick");
        QTest::newRow("colon later in a mount point")
            << QStringLiteral("/mnt/c:") << false << QStringLiteral("/mnt/c:") << QStringLiteral("/mnt/c:");
        QTest::newRow("letter and colon inside a name")
            << QStringLiteral("c:d") << true << QStringLiteral("c:\\") << QStringLiteral("C:");
    }
    void rootsAndDriveParts()
    {
        QFETCH(QString, root);
        QFETCH(bool, driveLetter);
        QFETCH(QString, queried);
        QFETCH(QString, drivePart);
        QCOMPARE(FreeSpace::hasDriveLetter(root), driveLetter);
        QCOMPARE(FreeSpace::queryRoot(root), queried);
        QCOMPARE(FreeSpace::drivePart(root), drivePart);
    }

    void rowTextJoinsItsPartsWithoutSeparators()
    {
        const auto tenGB = FreeSpace::figures(8, 512, 1000000, 2500000);
        QVERIFY(tenGB);
        QCOMPARE(FreeSpace::rowText(FreeSpace::drivePart(QStringLiteral("c:")), *tenGB),
                 QStringLiteral("C:盘原有空间：10GB  可用空间：3906MB"));
        QCOMPARE(FreeSpace::rowText(QStringLiteral("/media/usb"), Figures {0, 1}),
                 QStringLiteral("/media/usb盘原有空间：0GB  可用空间：1MB"));
        QCOMPARE(FreeSpace::rowText(QStringLiteral("/"), Figures {4096, 3145728}),
                 QStringLiteral("/盘原有空间：4096GB  可用空间：3145728MB"));
    }

    void chooserEntriesShowLabelsInBrackets()
    {
        QCOMPARE(FreeSpace::chooserEntry(QStringLiteral("/"), QString()), QStringLiteral("/"));
        QCOMPARE(FreeSpace::chooserEntry(QStringLiteral("/media/usb"), QStringLiteral("STICK")),
                 QStringLiteral("/media/usb [STICK]"));
        QCOMPARE(FreeSpace::chooserEntry(QStringLiteral("c:"), QStringLiteral("系统")), QStringLiteral("c: [系统]"));
        // A label that repeats the mount point is left out.
        QCOMPARE(FreeSpace::chooserEntry(QStringLiteral("/mnt/data"), QStringLiteral("/mnt/data")),
                 QStringLiteral("/mnt/data"));
    }

    void theChooserOpensOnTheVolumeHoldingAPath()
    {
        const QStringList roots {QStringLiteral("/"), QStringLiteral("/home"), QStringLiteral("/media/usb")};
        QCOMPARE(FreeSpace::volumeHolding(roots, QStringLiteral("/home/me/work")), 1);
        QCOMPARE(FreeSpace::volumeHolding(roots, QStringLiteral("/home")), 1);
        // "/homework" is not under "/home".
        QCOMPARE(FreeSpace::volumeHolding(roots, QStringLiteral("/homework")), 0);
        QCOMPARE(FreeSpace::volumeHolding(roots, QStringLiteral("/media/usb2/x")), 0);
        QCOMPARE(FreeSpace::volumeHolding(roots, QStringLiteral("/media/usb/x")), 2);
        QCOMPARE(FreeSpace::volumeHolding({QStringLiteral("/home")}, QStringLiteral("/tmp")), -1);
        QCOMPARE(FreeSpace::volumeHolding({QStringLiteral("c:"), QStringLiteral("d:")}, QStringLiteral("D:\\x")), 1);
        QCOMPARE(FreeSpace::volumeHolding({}, QStringLiteral("/")), -1);
    }
};

QTEST_APPLESS_MAIN(TestFreeSpace)
#include "tst_free_space.moc"
