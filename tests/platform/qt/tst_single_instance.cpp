#include "platform/qt/single_instance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Listens on key and answers every line with answer, as a stranger's program
// would that took the name first.
class StrangeListener : public QObject
{
public:
    StrangeListener(const QString &key, const QByteArray &answer)
    {
        QLocalServer::removeServer(key);
        server.setSocketOptions(QLocalServer::WorldAccessOption);
        connect(&server, &QLocalServer::newConnection, this, [this, answer] {
            while (QLocalSocket *client = server.nextPendingConnection()) {
                ++connections;
                connect(client, &QLocalSocket::readyRead, client, [client, answer] {
                    client->readAll();
                    client->write(answer);
                    client->flush();
                });
            }
        });
        listening = server.listen(key);
    }
    QLocalServer server;
    bool listening = false;
    int connections = 0;
};

// A start of the program in another thread (as it would be another process),
// while this thread keeps the listeners answering.
bool handsOver(const QString &key)
{
    auto second = std::async(std::launch::async, [key] { return SingleInstance(key).handOverToRunningInstance(); });
    while (second.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return second.get();
}

mode_t modeOf(const QString &path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

} // namespace

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

    void aForeignListenerOnTheOldPublicNameChangesNothing()
    {
        // The name every user could compute: a hash of the user and the
        // display in the shared temp folder.
        const QByteArray who = qgetenv("USER") + '@' + qgetenv("DISPLAY") + '@' + qgetenv("WAYLAND_DISPLAY");
        const QString publicName = QStringLiteral("korvan-")
            + QString::fromLatin1(QCryptographicHash::hash(who, QCryptographicHash::Sha1).toHex().left(16));
        StrangeListener stranger(publicName, "ok\nkorvan shown\n");
        QVERIFY(stranger.listening);
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));

        const QString key = SingleInstance::defaultKey();
        QVERIFY(!handsOver(key));
        QVERIFY2(key.startsWith(runtime.path() + u'/'), qPrintable(key));
        SingleInstance first(key);
        QVERIFY(first.listen());
        QCOMPARE(stranger.connections, 0);
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void aPeerThatDoesNotSpeakOurProtocolIsNoRunningInstance()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString key = dir.filePath(QStringLiteral("sock"));
        for (const QByteArray &answer : {QByteArray("ok\n"), QByteArray("korvan show\n"), QByteArray("korvan shown"),
                                         QByteArray("KORVAN SHOWN\n"), QByteArray(4096, 'x')}) {
            StrangeListener stranger(key, answer);
            QVERIFY(stranger.listening);
            QVERIFY2(!handsOver(key), answer.left(20).constData());
            QCOMPARE(stranger.connections, 1);
        }
        // Silence counts as no answer, too.
        StrangeListener silent(key, QByteArray());
        QVERIFY(silent.listening);
        QVERIFY(!handsOver(key));
    }

    void theSocketFolderIsPrivateOrRefused()
    {
        QTemporaryDir base;
        QVERIFY(base.isValid());
        const QString tmp = base.path();
        const QString ours = tmp + QStringLiteral("/korvan-") + QString::number(::geteuid());

        // A runtime folder that others may enter is not used; our own one
        // under the temp folder is made, closed to others.
        const QString open = base.filePath(QStringLiteral("open"));
        QVERIFY(QDir().mkdir(open));
        QVERIFY(::chmod(QFile::encodeName(open).constData(), 0755) == 0);
        QCOMPARE(SingleInstance::privateSocketDir(open, tmp), ours);
        QCOMPARE(modeOf(ours) & 0777, mode_t(0700));
        // Made once, then found again.
        QCOMPARE(SingleInstance::privateSocketDir(QString(), tmp), ours);
        // A proper runtime folder is used as it is.
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        QCOMPARE(SingleInstance::privateSocketDir(runtime.path(), tmp), runtime.path());

        // Someone made the folder first, open to everybody.
        QVERIFY(::chmod(QFile::encodeName(ours).constData(), 0777) == 0);
        QCOMPARE(SingleInstance::privateSocketDir(QString(), tmp), QString());
        QVERIFY(QDir().rmdir(ours));
        // ...or as a link to a folder they control.
        QVERIFY(::symlink(QFile::encodeName(runtime.path()).constData(), QFile::encodeName(ours).constData()) == 0);
        QCOMPARE(SingleInstance::privateSocketDir(QString(), tmp), QString());
        QVERIFY(QFile::remove(ours));
        // ...or as a plain file.
        QFile file(ours);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(SingleInstance::privateSocketDir(QString(), tmp), QString());
        QVERIFY(QFile::remove(ours));
        // ...or owned by another user, closed as it may be.
        if (::geteuid() == 0) {
            QVERIFY(::mkdir(QFile::encodeName(ours).constData(), 0700) == 0);
            QVERIFY(::chown(QFile::encodeName(ours).constData(), 65534, 65534) == 0);
            QCOMPARE(SingleInstance::privateSocketDir(QString(), tmp), QString());
            QCOMPARE(SingleInstance::privateSocketDir(ours, tmp), QString());
        }

        // With no private folder this start neither hands over nor listens.
        SingleInstance alone {QString()};
        QVERIFY(!alone.handOverToRunningInstance());
        QVERIFY(!alone.listen());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
