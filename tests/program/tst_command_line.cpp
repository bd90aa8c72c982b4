#include "program/command_line.h"
#include "candidates/candidate_window.h"
#include "panel/panel_window.h"
#include "platform/qt/single_instance.h"
#include "support/test_app.h"

#include <QSignalSpy>
#include <QtTest>

#include <future>

// "korvan PATH…": paths from the command line reach the running instance
// and are taken in as a drop of them on the panel.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void argumentsBecomeTheAbsolutePathsADropCarries_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("absolute") << QStringList {QStringLiteral("/srv/a.txt")}
                                  << QStringList {QStringLiteral("/srv/a.txt")};
        QTest::newRow("relative, in order")
            << QStringList {QStringLiteral("b.txt"), QStringLiteral("../c")}
            << QStringList {QStringLiteral("/home/ann/work/b.txt"), QStringLiteral("/home/ann/c")};
        QTest::newRow("folder with trailing slash")
            << QStringList {QStringLiteral("Fotos/"), QStringLiteral("./x//y/")}
            << QStringList {QStringLiteral("/home/ann/work/Fotos"), QStringLiteral("/home/ann/work/x/y")};
        QTest::newRow("file URL") << QStringList {QStringLiteral("file:///tmp/%E4%B8%AD%20x.txt")}
                                  << QStringList {QStringLiteral("/tmp/中 x.txt")};
        QTest::newRow("blanks and odd characters kept")
            << QStringList {QStringLiteral(" lead"), QStringLiteral("a\nb"), QStringLiteral("-x")}
            << QStringList {QStringLiteral("/home/ann/work/ lead"), QStringLiteral("/home/ann/work/a\nb"),
                            QStringLiteral("/home/ann/work/-x")};
        QTest::newRow("nothing given") << QStringList {QString()} << QStringList();
    }

    void argumentsBecomeTheAbsolutePathsADropCarries()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, paths);
        QCOMPARE(pathsFromArguments(arguments, QStringLiteral("/home/ann/work")), paths);
    }

    void aSecondStartHandsItsPathsToTheRunningInstance()
    {
        const QString key = QStringLiteral("korvan-test-cl-%1").arg(QCoreApplication::applicationPid());
        SingleInstance running(key);
        QVERIFY(running.listen());
        QSignalSpy handed(&running, &SingleInstance::pathsHandedOver);
        QSignalSpy activated(&running, &SingleInstance::activationRequested);
        // Names that would break a line-based or text protocol.
        QStringList paths {QStringLiteral("/tmp/two\nlines"), QStringLiteral("/tmp/空 格.txt")};
        for (int i = 0; i < 3000; ++i)
            paths << QStringLiteral("/data/a-rather-long-folder-name/file-%1.bin").arg(i);
        paths << QFile::decodeName(QByteArray("/tmp/not-utf8-\xff"));

        auto second = std::async(std::launch::async,
                                 [key, paths] { return SingleInstance(key).handOverToRunningInstance(paths); });
        QTRY_COMPARE(handed.count(), 1);
        QVERIFY(second.get());
        QCOMPARE(handed.at(0).at(0).toStringList(), paths);
        // Paths are no request to show the main window.
        QCOMPARE(activated.count(), 0);
    }

    void startPathsAndHandedOverOnesAreTakenInAsDropsOnThePanel()
    {
        TestApp app;
        app.ctx.m.defaultDest = QStringLiteral("/dest/");
        app.form1->st_mode();
        QVERIFY(app.form1->defaultsSwitchOn());
        const QString key = QStringLiteral("korvan-test-cl2-%1").arg(QCoreApplication::applicationPid());
        SingleInstance running(key);
        QVERIFY(running.listen());
        takePathsAsDrops(running, *app.form3, {QStringLiteral("/srv/started-with")});
        // Taken once the event loop runs, as a drop is.
        QVERIFY(app.ctx.queue.isEmpty());
        QTRY_COMPARE(app.ctx.queue.count(), 1);

        auto second = std::async(std::launch::async, [key] {
            return SingleInstance(key).handOverToRunningInstance({QStringLiteral("/srv/a"), QStringLiteral("/srv/b")});
        });
        QTRY_COMPARE(app.ctx.queue.count(), 3);
        QVERIFY(second.get());
        QCOMPARE(app.ctx.queue.task(0).sourcePath, QStringLiteral("/srv/started-with"));
        QCOMPARE(app.ctx.queue.task(1).sourcePath, QStringLiteral("/srv/a"));
        QCOMPARE(app.ctx.queue.task(2).sourcePath, QStringLiteral("/srv/b"));
        QCOMPARE(app.ctx.queue.task(2).destination, QStringLiteral("/dest/"));

        // Without the defaults, two paths go to the candidate window as a drop would.
        app.form1->st_mode();
        auto third = std::async(std::launch::async, [key] {
            return SingleInstance(key).handOverToRunningInstance({QStringLiteral("/srv/c"), QStringLiteral("/srv/d")});
        });
        QTRY_COMPARE(app.ctx.candidates.count(), 2);
        QVERIFY(third.get());
        QTRY_VERIFY(app.form7->isVisible());
        VERIFY_DIALOGS(app.dialogs);
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_command_line.moc"
