// korvan-fileop's checks: --verify on a medium that lies (a FUSE file
// system storing one file otherwise than given), and the items a target
// cannot hold printed one a line before anything is written.
#include "support/engine_test_files.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace EngineTestFiles;

namespace {

struct Outcome
{
    int exitCode = -1;
    QStringList lines; // of stderr
};

Outcome runFileop(const QStringList &arguments, const QByteArray &volumeType = QByteArray())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!volumeType.isEmpty())
        environment.insert(QStringLiteral("KORVAN_FILEOP_VOLUME_TYPE"), QString::fromLatin1(volumeType));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KORVAN_FILEOP_PROGRAM), arguments);
    process.waitForFinished(600000);
    Outcome outcome;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.lines = QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return outcome;
}

void makeFiles(const QByteArray &root, int count, int victim)
{
    makeDirs(root);
    for (int i = 0; i < count; ++i)
        writeFile(root + "/f" + QByteArray::number(i), (i == victim ? "victim-" : "file-") + QByteArray::number(i));
}

int linesWith(const QStringList &lines, const QString &text)
{
    int count = 0;
    for (const QString &line : lines)
        count += line.contains(text) ? 1 : 0;
    return count;
}

} // namespace

class TestEngineFileopChecks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFileInfo(QStringLiteral(KORVAN_FILEOP_PROGRAM)).isExecutable())
            QSKIP("korvan-fileop is not built");
        qputenv("XDG_DATA_HOME", bytes(m_tmp.path()) + "/data");
    }

    void init()
    {
        m_medium.clear();
        if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0)
            return;
        const QByteArray backing = bytes(m_tmp.path()) + "/backing";
        const QByteArray medium = bytes(m_tmp.path()) + "/medium";
        removeTree(backing);
        makeDirs(backing);
        makeDirs(medium);
        // Returns once the file system is mounted.
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral(KORVAN_LYING_FS), text(backing), text(medium)})
            == 0)
            m_medium = medium;
    }
    void cleanup()
    {
        if (!m_medium.isEmpty())
            QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-u"), text(m_medium)});
    }

    void lyingMediumIsCaught()
    {
        if (m_medium.isEmpty())
            QSKIP("needs root, /dev/fuse and python3-fusepy to mount the lying file system");
        const QByteArray medium = m_medium;
        const QByteArray src = bytes(m_tmp.path()) + "/src";
        makeFiles(src, 1000, 537);

        // Without verification the medium's lie passes as done: the test can fail.
        const Outcome unverified = runFileop({QStringLiteral("copy"), text(src), text(medium + "/plain")});
        QCOMPARE(unverified.exitCode, 0);
        QCOMPARE(readFile(medium + "/plain/src/f537"), QByteArray("Victim-537"));

        const Outcome verified = runFileop({QStringLiteral("copy"), text(src), text(medium + "/checked"),
                                            QStringLiteral("--verify"), QStringLiteral("--on-error=skip")});
        QCOMPARE(verified.exitCode, 3);
        const QString victim = text(medium + "/checked/src/f537");
        QCOMPARE(linesWith(verified.lines, QStringLiteral("校验失败：写入的内容与源不一致")),
                 2); // the skip, the summary
        for (const QString &line : verified.lines) {
            if (line.contains(QStringLiteral("校验失败")))
                QVERIFY2(line.contains(victim), qPrintable(line));
        }
        QVERIFY(!exists(medium + "/checked/src/f537"));
        for (int i = 0; i < 1000; ++i) {
            if (i != 537)
                QCOMPARE(readFile(medium + "/checked/src/f" + QByteArray::number(i)),
                         readFile(src + "/f" + QByteArray::number(i)));
        }

        // Ten times out of ten, also for a move, which keeps that source.
        const QByteArray few = bytes(m_tmp.path()) + "/few";
        for (int round = 0; round < 10; ++round) {
            makeFiles(few, 100, 42);
            const QByteArray dst = medium + "/round" + QByteArray::number(round);
            const Outcome moved = runFileop({QStringLiteral("move"), text(few), text(dst), QStringLiteral("--verify"),
                                             QStringLiteral("--on-error=skip")});
            QCOMPARE(moved.exitCode, 3);
            QVERIFY(moved.lines.first().contains(text(dst + "/few/f42")));
            QCOMPARE(readFile(few + "/f42"), QByteArray("victim-42"));
            QVERIFY(!exists(few + "/f41"));
            removeTree(few);
        }
    }

    void bigFileReadBackWhileCopied()
    {
        // Its first part is read back while the rest is still being written.
        if (m_medium.isEmpty())
            QSKIP("needs root, /dev/fuse and python3-fusepy to mount the lying file system");
        const QByteArray src = bytes(m_tmp.path()) + "/big.bin";
        QVERIFY(writeFile(src, "victim-" + QByteArray(64 * 1024 * 1024, 'b')));
        const Outcome verified = runFileop(
            {QStringLiteral("copy"), text(src), text(m_medium + "/big"), QStringLiteral("--verify")});
        QCOMPARE(verified.exitCode, 1);
        QCOMPARE(linesWith(verified.lines, QStringLiteral("校验失败：写入的内容与源不一致")), 1);
        QVERIFY(!exists(m_medium + "/big/big.bin"));
        removeTree(src);
    }

    void preflightListsEachItem_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("exitCode");
        QTest::addRow("cancel: nothing written") << QStringLiteral("cancel") << 4;
        QTest::addRow("skip: the rest copied") << QStringLiteral("skip") << 3;
    }
    void preflightListsEachItem()
    {
        QFETCH(QString, answer);
        QFETCH(int, exitCode);
        const QByteArray src = bytes(m_tmp.path()) + "/awkward";
        const QByteArray dst = bytes(m_tmp.path()) + "/stick-" + bytes(answer);
        makeDirs(src);
        writeFile(src + "/fine.txt", "fine");
        writeFile(src + "/what?.txt", "q");
        writeFile(src + "/AUX", "device");
        writeFile(src + "/dot.", "dot");
        const Outcome outcome = runFileop(
            {QStringLiteral("copy"), text(src), text(dst), QStringLiteral("--on-preflight=") + answer}, "vfat");
        QCOMPARE(outcome.exitCode, exitCode);
        QCOMPARE(linesWith(outcome.lines, QStringLiteral("目标磁盘不能保存“")), 3);
        for (const char *name : {"what?.txt", "AUX", "dot."})
            QCOMPARE(linesWith(outcome.lines, text(src + '/' + name)), 1);
        QCOMPARE(exists(dst), answer == QStringLiteral("skip"));
        if (answer == QStringLiteral("skip")) {
            QCOMPARE(readFile(dst + "/awkward/fine.txt"), QByteArray("fine"));
            QVERIFY(!exists(dst + "/awkward/AUX"));
        }
        removeTree(src);
    }

private:
    QTemporaryDir m_tmp;
    QByteArray m_medium; // the lying file system, mounted for each test
};

QTEST_GUILESS_MAIN(TestEngineFileopChecks)
#include "tst_engine_fileop_checks.moc"
