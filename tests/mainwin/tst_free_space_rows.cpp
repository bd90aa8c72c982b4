#include "model/texts.h"
#include "platform/disk_space_queries.h"
#include "support/test_app.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QTreeView>
#include <QtTest>

#include <limits>

namespace {

DiskFreeSpace space(qint64 sectorsPerCluster, qint64 bytesPerSector, qint64 freeClusters, qint64 totalClusters)
{
    return DiskFreeSpace {sectorsPerCluster, bytesPerSector, freeClusters, totalClusters};
}

QStringList rows(const SummaryList &s)
{
    QStringList out;
    for (int p = 1; p <= s.rowCount(); ++p)
        out << s.text(p);
    return out;
}

const QStringList kStartRows {QStringLiteral("复制的文件共有0个"), QStringLiteral("剪贴的文件共有0个"),
                              QStringLiteral("删除的文件共有0个"), QStringLiteral("移动文件的总和为0")};

// Waits until every volume asked has answered (or timed out).
void settle(Form1 &f)
{
    QTRY_COMPARE(f.driveQueries->pending(), 0);
}

// The user picks the entry at index in the chooser.
void pick(Form1 &f, int index)
{
    f.Drive1->setCurrentIndex(index);
    emit f.Drive1->activated(index);
    settle(f);
}

QStringList entries(const QComboBox *c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

// Three volumes: a floppy-sized one, the ten-gigabyte example, one over 2 TiB.
void addVolumes(TestApp &app)
{
    app.disk.volumes = {VolumeInfo {QStringLiteral("/"), QString()},
                        VolumeInfo {QStringLiteral("/media/floppy"), QStringLiteral("DISK1")},
                        VolumeInfo {QStringLiteral("/srv/big"), QString()}};
    app.disk.figures.insert(QStringLiteral("/"), space(8, 512, 1000000, 2500000));
    app.disk.figures.insert(QStringLiteral("/media/floppy"), space(1, 512, 2000, 2847));
    app.disk.figures.insert(QStringLiteral("/srv/big"), space(1, 4096, 805306368, 1073741824));
    app.form1->fillDrives();
}

} // namespace

class TestFreeSpaceRows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void theChooserListsTheVolumesWithoutQueryingThem()
    {
        TestApp app;
        addVolumes(app);
        QComboBox *d = app.form1->Drive1;
        QCOMPARE(d->count(), 3);
        QCOMPARE(d->itemText(0), QStringLiteral("/"));
        QCOMPARE(d->itemText(1), QStringLiteral("/media/floppy [DISK1]"));
        QCOMPARE(d->itemText(2), QStringLiteral("/srv/big"));
        QCOMPARE(d->toolTip(), QStringLiteral("显示当前驱动器的所剩空间"));
        QVERIFY(d->currentIndex() >= 0);
        // Filling the chooser again (as a new volume list would) is no pick either.
        app.form1->fillDrives();
        QCOMPARE(d->count(), 3);
        QVERIFY(app.disk.queried.isEmpty());
        QCOMPARE(rows(app.ctx.summary), kStartRows);
    }

    void eachPickAppendsOneRowBelowTheSummaryRows()
    {
        TestApp app;
        QAbstractItemModelTester tester(&app.ctx.summary);
        addVolumes(app);
        Form1 &f = *app.form1;
        pick(f, 1);
        pick(f, 0);
        pick(f, 2);
        // The same volume again gives a second row.
        pick(f, 1);
        QCOMPARE(app.disk.queried,
                 (QStringList {QStringLiteral("/media/floppy"), QStringLiteral("/"), QStringLiteral("/srv/big"),
                               QStringLiteral("/media/floppy")}));
        QCOMPARE(rows(app.ctx.summary),
                 kStartRows
                     + (QStringList {QStringLiteral("/media/floppy盘原有空间：0GB  可用空间：1MB"),
                                     QStringLiteral("/盘原有空间：10GB  可用空间：3906MB"),
                                     QStringLiteral("/srv/big盘原有空间：4096GB  可用空间：3145728MB"),
                                     QStringLiteral("/media/floppy盘原有空间：0GB  可用空间：1MB")}));
        // The list shows them in that order.
        QCOMPARE(f.ListView2->model()->rowCount(), 8);
        QCOMPARE(f.ListView2->model()->index(6, 0).data().toString(),
                 QStringLiteral("/srv/big盘原有空间：4096GB  可用空间：3145728MB"));
    }

    void summaryUpdatesKeepToTheFirstFourRows()
    {
        TestApp app;
        addVolumes(app);
        pick(*app.form1, 0);
        MoveTask t;
        t.sourcePath = QStringLiteral("/a");
        t.mode = Texts::ModeCut;
        app.ctx.queue.appendTask(t);
        pick(*app.form1, 1);
        const QString first = QStringLiteral("/盘原有空间：10GB  可用空间：3906MB");
        const QString second = QStringLiteral("/media/floppy盘原有空间：0GB  可用空间：1MB");
        QCOMPARE(rows(app.ctx.summary),
                 (QStringList {QStringLiteral("复制的文件有0个"), QStringLiteral("剪贴的文件有1个"),
                               QStringLiteral("删除的文件有0个"), QStringLiteral("共要移动的文件个数有1个"), first,
                               second}));
        // Clearing the queue leaves the free-space rows in place.
        app.form1->use.allclear->trigger();
        QCOMPARE(rows(app.ctx.summary).mid(4), (QStringList {first, second}));
        QCOMPARE(app.ctx.summary.text(2), QStringLiteral("剪贴的文件有0个"));
    }

    void aDriveLetterEntryShowsTheLetterUpperCased()
    {
        TestApp app;
        app.disk.volumes = {VolumeInfo {QStringLiteral("c:"), QString()},
                            VolumeInfo {QStringLiteral("d:"), QStringLiteral("DATA")}};
        app.disk.figures.insert(QStringLiteral("c:\\"), space(8, 512, 1000000, 2500000));
        app.disk.figures.insert(QStringLiteral("d:\\"), space(1, 512, 2000, 2847));
        app.form1->fillDrives();
        QCOMPARE(app.form1->Drive1->itemText(1), QStringLiteral("d: [DATA]"));
        pick(*app.form1, 0);
        pick(*app.form1, 1);
        QCOMPARE(app.disk.queried, (QStringList {QStringLiteral("c:\\"), QStringLiteral("d:\\")}));
        QCOMPARE(app.ctx.summary.text(5), QStringLiteral("C:盘原有空间：10GB  可用空间：3906MB"));
        QCOMPARE(app.ctx.summary.text(6), QStringLiteral("D:盘原有空间：0GB  可用空间：1MB"));
    }

    void aVolumeThatCannotBeQueriedGetsNoRow()
    {
        TestApp app;
        addVolumes(app);
        pick(*app.form1, 0);
        // Unmounted since the chooser was filled: no row, and no stale figures.
        app.disk.figures.remove(QStringLiteral("/media/floppy"));
        pick(*app.form1, 1);
        QCOMPARE(app.disk.queried.size(), 2);
        QCOMPARE(app.ctx.summary.rowCount(), 5);
        QCOMPARE(app.ctx.summary.text(5), QStringLiteral("/盘原有空间：10GB  可用空间：3906MB"));
        // Figures too large for any number give no row either.
        app.disk.figures.insert(QStringLiteral("/media/floppy"),
                                space(1, qint64(1) << 40, std::numeric_limits<qint64>::max(), 1));
        pick(*app.form1, 1);
        QCOMPARE(app.ctx.summary.rowCount(), 5);
        VERIFY_DIALOGS(app.dialogs);
    }

    void anEmptyChooserDoesNothing()
    {
        TestApp app;
        app.form1->fillDrives();
        QCOMPARE(app.form1->Drive1->count(), 0);
        app.form1->Drive1_Change();
        QVERIFY(app.disk.queried.isEmpty());
        QCOMPARE(rows(app.ctx.summary), kStartRows);
    }

    void pickingWithTheKeyboardCountsAsAChange()
    {
        TestApp app;
        addVolumes(app);
        Form1 &f = *app.form1;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.Drive1->setCurrentIndex(0);
        f.Drive1->setFocus();
        QTest::keyClick(f.Drive1, Qt::Key_Down);
        settle(f);
        QCOMPARE(f.Drive1->currentIndex(), 1);
        QCOMPARE(app.disk.queried, QStringList {QStringLiteral("/media/floppy")});
        QCOMPARE(app.ctx.summary.rowCount(), 5);
    }

    void theChooserReadsTheVolumesAgainWhenItOpens()
    {
        TestApp app;
        addVolumes(app);
        Form1 &f = *app.form1;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.Drive1->setCurrentIndex(1);
        // A stick is plugged in (udisks mounts it under /run/media) and the
        // floppy is taken out.
        app.disk.volumes = {VolumeInfo {QStringLiteral("/"), QString()},
                            VolumeInfo {QStringLiteral("/run/media/user/STICK"), QStringLiteral("STICK")},
                            VolumeInfo {QStringLiteral("/srv/big"), QString()}};
        app.disk.figures.insert(QStringLiteral("/run/media/user/STICK"), space(1, 4096, 262144, 1048576));
        f.Drive1->showPopup();
        QCOMPARE(entries(f.Drive1),
                 (QStringList {QStringLiteral("/"), QStringLiteral("/run/media/user/STICK [STICK]"),
                               QStringLiteral("/srv/big")}));
        f.Drive1->hidePopup();
        pick(f, 1);
        QCOMPARE(app.ctx.summary.text(5), QStringLiteral("/run/media/user/STICK盘原有空间：4GB  可用空间：1024MB"));

        // Stepping with the keys reads the list too, and the current volume
        // stays current.
        app.disk.volumes.removeAt(1);
        f.Drive1->setCurrentIndex(2);
        f.Drive1->setFocus();
        QTest::keyClick(f.Drive1, Qt::Key_Up);
        settle(f);
        QCOMPARE(entries(f.Drive1), (QStringList {QStringLiteral("/"), QStringLiteral("/srv/big")}));
        QCOMPARE(f.Drive1->currentText(), QStringLiteral("/"));
        QCOMPARE(app.disk.queried.last(), QStringLiteral("/"));
        QCOMPARE(app.ctx.summary.rowCount(), 6);
    }

    void aVolumeThatDoesNotAnswerHoldsNothingUp()
    {
        TestApp app;
        addVolumes(app);
        Form1 &f = *app.form1;
        f.driveQueries->setTimeLimit(1000);
        app.disk.hung = {QStringLiteral("/media/floppy")};
        f.Drive1->setCurrentIndex(1);
        emit f.Drive1->activated(1);
        // The window goes on while the volume does not answer.
        QTRY_COMPARE(app.disk.queriedSoFar(), QStringList {QStringLiteral("/media/floppy")});
        QCOMPARE(f.driveQueries->runningQueries(), 1);
        // Asked again meanwhile: no second query is started.
        emit f.Drive1->activated(1);
        pick(f, 0);
        QCOMPARE(app.disk.queried, (QStringList {QStringLiteral("/media/floppy"), QStringLiteral("/")}));
        // The two floppy picks timed out: no row for them; "/" answered.
        QCOMPARE(app.ctx.summary.rowCount(), 5);
        QCOMPARE(app.ctx.summary.text(5), QStringLiteral("/盘原有空间：10GB  可用空间：3906MB"));
        // Its late answer is dropped.
        app.disk.release();
        QTRY_COMPARE(f.driveQueries->runningQueries(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(app.ctx.summary.rowCount(), 5);
    }

    void rowsKeepTheOrderOfThePicksAndNoneComesAfterTheEnd()
    {
        TestApp app;
        addVolumes(app);
        Form1 &f = *app.form1;
        // Long enough for the floppy to be let go before it counts as hung.
        f.driveQueries->setTimeLimit(60000);
        app.disk.hung = {QStringLiteral("/media/floppy")};
        f.Drive1->setCurrentIndex(1);
        emit f.Drive1->activated(1);
        f.Drive1->setCurrentIndex(0);
        emit f.Drive1->activated(0);
        QTRY_COMPARE(app.disk.queriedSoFar().size(), 2);
        QTRY_COMPARE(f.driveQueries->runningQueries(), 1);
        QCoreApplication::processEvents();
        // "/" answered first, yet waits behind the floppy picked before it.
        QCOMPARE(app.ctx.summary.rowCount(), 4);
        app.disk.hung.clear();
        app.disk.release();
        settle(f);
        QCOMPARE(rows(app.ctx.summary).mid(4),
                 (QStringList {QStringLiteral("/media/floppy盘原有空间：0GB  可用空间：1MB"),
                               QStringLiteral("/盘原有空间：10GB  可用空间：3906MB")}));

        // An answer that arrives once the program is ending adds nothing.
        TestApp ending;
        addVolumes(ending);
        ending.disk.hung = {QStringLiteral("/")};
        ending.form1->Drive1->setCurrentIndex(0);
        emit ending.form1->Drive1->activated(0);
        QTRY_COMPARE(ending.disk.queriedSoFar().size(), 1);
        ending.ctx.m.exitAllowed = true;
        ending.disk.release();
        settle(*ending.form1);
        QCOMPARE(ending.ctx.summary.rowCount(), 4);
    }
};

QTEST_MAIN(TestFreeSpaceRows)
#include "tst_free_space_rows.moc"
