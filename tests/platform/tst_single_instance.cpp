#include "platform/qt/single_instance.h"

#include <QLocalServer>
#include <QSignalSpy>
#include <QtTest>

#include <future>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void aSecondStartAsksTheRunningInstanceToShowItself()
    {
        const QString key = QStringLiteral("korvan-test-%1").arg(QCoreApplication::applicationPid());
        SingleInstance running(key);
        QVERIFY(running.listen());
        QSignalSpy activated(&running, &SingleInstance::activationRequested);

        // The second start runs in another thread, as it would in another process.
        auto second = std::async(std::launch::async, [key] {
            SingleInstance later(key);
            return later.handOverToRunningInstance();
        });
        QTRY_COMPARE(activated.count(), 1);
        QVERIFY(second.get());

        // The same key is taken while the first runs.
        SingleInstance third(key);
        QVERIFY(!third.listen());
    }

    void nobodyRunningMeansThisStartRuns()
    {
        const QString key = QStringLiteral("korvan-test-alone-%1").arg(QCoreApplication::applicationPid());
        SingleInstance first(key);
        QVERIFY(!first.handOverToRunningInstance());
        QVERIFY(first.listen());
    }

    void aSocketLeftBehindByACrashIsTakenOver()
    {
        const QString key = QStringLiteral("korvan-test-stale-%1").arg(QCoreApplication::applicationPid());
        const QString socketPath = QDir::tempPath() + u'/' + key;
        QFile stale(socketPath);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        SingleInstance instance(key);
        QVERIFY(!instance.handOverToRunningInstance());
        QVERIFY(instance.listen());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
