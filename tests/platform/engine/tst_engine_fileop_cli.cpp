#include "platform/engine/fs_util.h"
#include "support/engine_test_files.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace EngineTestFiles;

namespace {

struct Outcome
{
    int exitCode = -1;
    QString errors;
};

// Whether the process holds a file open inside folder: a copy writes into an
// unnamed file there, which no listing shows.
bool writesInto(pid_t pid, const QByteArray &folder)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList entries = QDir(fds).entryList(QDir::Files | QDir::System);
    for (const QString &entry : entries) {
        if (QFile::encodeName(QFileInfo(fds + u'/' + entry).symLinkTarget()).startsWith(QByteArray(folder + '/')))
            return true;
    }
    return false;
}

} // namespace

// korvan-fileop is the engine without dialogs; scripts rely on its exit
// status and on the reason it prints.
class TestEngineFileopCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exitStatusTellsWhatHappened();
    void takesAnyFileNameAsBytes();
    void reportsTheFirstWriteOnce_data();
    void reportsTheFirstWriteOnce();
    void terminationSignalCancelsTheSafeWay_data();
    void terminationSignalCancelsTheSafeWay();

private:
    Outcome run(const QList<QByteArray> &arguments);
    QString m_program;
    QTemporaryDir m_tmp;
};

void TestEngineFileopCli::initTestCase()
{
    // Where the build put the driver, given by CMake.
    m_program = QStringLiteral(KORVAN_FILEOP_PROGRAM);
    if (!QFileInfo(m_program).isExecutable())
        QSKIP("korvan-fileop is not built (cmake --build BUILD --target korvan-fileop)");
    // What a run sends to the trash stays in this test's own folder.
    qputenv("XDG_DATA_HOME", FsUtil::encodePath(m_tmp.path()) + "/data");
}

Outcome TestEngineFileopCli::run(const QList<QByteArray> &arguments)
{
    // Arguments go as raw bytes: QProcess would re-encode them.
    int errorPipe[2];
    Outcome outcome;
    if (pipe(errorPipe) != 0)
        return outcome;
    const QByteArray program = QFile::encodeName(m_program);
    const pid_t child = fork();
    if (child == 0) {
        dup2(errorPipe[1], 2);
        close(errorPipe[0]);
        QList<char *> argv;
        argv.append(const_cast<char *>(program.constData()));
        for (const QByteArray &argument : arguments)
            argv.append(const_cast<char *>(argument.constData()));
        argv.append(nullptr);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execv(program.constData(), argv.data());
        _exit(127);
    }
    close(errorPipe[1]);
    const QByteArray errors = readToEnd(errorPipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.errors = QString::fromUtf8(errors);
    return outcome;
}

void TestEngineFileopCli::exitStatusTellsWhatHappened()
{
    const QByteArray root = FsUtil::encodePath(m_tmp.path());
    qputenv("XDG_DATA_HOME", root + "/data"); // the trash of replaced and deleted files
    QVERIFY(writeFile(root + "/a.txt", "one"));

    QCOMPARE(run({"copy", root + "/a.txt", root + "/dst/"}).exitCode, 0);
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("one"));

    QVERIFY(writeFile(root + "/a.txt", "two"));
    const Outcome conflict = run({"copy", root + "/a.txt", root + "/dst"});
    QCOMPARE(conflict.exitCode, 4); // cancelled at the conflict by default
    QVERIFY(conflict.errors.contains(QFile::decodeName(root + "/dst/a.txt")));
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("one"));
    QCOMPARE(run({"copy", root + "/a.txt", root + "/dst", "--on-conflict=skip"}).exitCode, 3);
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("one"));
    QCOMPARE(run({"copy", root + "/a.txt", root + "/dst", "--on-conflict=overwrite"}).exitCode, 0);
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("two"));
    QCOMPARE(readFile(root + "/data/Trash/files/a.txt"), QByteArray("one")); // replaced, not destroyed

    const Outcome itself = run({"move", root + "/dst/a.txt", root + "/dst"});
    QCOMPARE(itself.exitCode, 1);
    QVERIFY(itself.errors.contains(QStringLiteral("同一个位置")));
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("two"));

    QCOMPARE(run({"copy", root + "/a.txt"}).exitCode, 2);
    QCOMPARE(run({"rename", root + "/a.txt", root + "/x"}).exitCode, 2);
    QCOMPARE(run({"copy", root + "/a.txt", root + "/x", "--on-conflict=maybe"}).exitCode, 2);
    QVERIFY(!exists(root + "/x"));

    QCOMPARE(run({"delete", root + "/dst/a.txt"}).exitCode, 0);
    QCOMPARE(readFile(root + "/data/Trash/files/a.2.txt"), QByteArray("two"));
    const Outcome missing = run({"delete", root + "/dst/a.txt"});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY(!missing.errors.isEmpty());
}

void TestEngineFileopCli::takesAnyFileNameAsBytes()
{
    const QByteArray root = FsUtil::encodePath(m_tmp.path());
    const QByteArray name("caf\xe9 \xff.txt", 10); // Latin-1 bytes: not UTF-8
    QVERIFY(writeFile(root + '/' + name, "latin"));
    QCOMPARE(run({"move", root + '/' + name, root + "/moved"}).exitCode, 0);
    QCOMPARE(readFile(root + "/moved/" + name), QByteArray("latin"));
    QVERIFY(!exists(root + '/' + name));
    removeTree(root + "/moved");
}

// The bench reads one line, when the first file is written, whichever
// thread writes it: never one per file, never none.
void TestEngineFileopCli::reportsTheFirstWriteOnce_data()
{
    QTest::addColumn<QByteArray>("workers");
    QTest::newRow("copy workers") << QByteArray("-1");
    QTest::newRow("no workers") << QByteArray("0");
}

void TestEngineFileopCli::reportsTheFirstWriteOnce()
{
    QFETCH(QByteArray, workers);
    const QByteArray root = FsUtil::encodePath(m_tmp.path()) + "/first-" + workers;
    for (int d = 0; d < 3; ++d) {
        QVERIFY(makeDirs(root + "/tree/d" + QByteArray::number(d)));
        for (int f = 0; f < 10; ++f)
            QVERIFY(writeFile(root + "/tree/d" + QByteArray::number(d) + "/f" + QByteArray::number(f), "data"));
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KORVAN_FILEOP_WORKERS"), QString::fromLatin1(workers));
    process.setProcessEnvironment(environment);
    process.start(m_program,
                  {QStringLiteral("copy"), QFile::decodeName(root + "/tree"), QFile::decodeName(root + "/dst"),
                   QStringLiteral("--report-first-write")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    const QList<QByteArray> lines = process.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(lines.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^first file written: [0-9]+ ms$"))
                 .match(QString::fromLatin1(lines.first()))
                 .hasMatch(),
             lines.first().constData());
    QCOMPARE(listTree(root + "/dst/tree").size(), 33);
}

void TestEngineFileopCli::terminationSignalCancelsTheSafeWay_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QByteArray>("mode");
    QTest::newRow("SIGTERM copy") << int(SIGTERM) << QByteArray("copy");
    QTest::newRow("SIGINT copy") << int(SIGINT) << QByteArray("copy");
    QTest::newRow("SIGTERM move to another volume") << int(SIGTERM) << QByteArray("move");
}

void TestEngineFileopCli::terminationSignalCancelsTheSafeWay()
{
    QFETCH(int, signalNumber);
    QFETCH(QByteArray, mode);
    const QByteArray root = FsUtil::encodePath(m_tmp.path());
    makeBigFile(root + "/big.bin", 8 * 1024 * 1024);
    QTemporaryDir shm(QStringLiteral("/dev/shm/korvan-test-XXXXXX")); // another volume, usually
    const QByteArray target = mode == "move" ? FsUtil::encodePath(shm.path()) : root + "/out";
    QVERIFY(makeDirs(target));
    const QByteArray program = QFile::encodeName(m_program);
    const QByteArray source = root + "/big.bin";
    const pid_t child = fork();
    if (child == 0) {
        // 64 KiB every 20 ms: the copy takes seconds, the signal lands inside it.
        setenv("KORVAN_FILEOP_CHUNK_DELAY", "65536:20000", 1);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 2);
        execl(program.constData(), program.constData(), mode.constData(), source.constData(), target.constData(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    QVERIFY(child > 0);
    // Wait (bounded) until the copy has begun writing in the target.
    for (int i = 0; i < 1000 && !writesInto(child, target); ++i)
        usleep(10000);
    QVERIFY(writesInto(child, target));
    QCOMPARE(kill(child, signalNumber), 0);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), "killed by the signal instead of cancelling");
    QCOMPARE(WEXITSTATUS(status), 4);
    QCOMPARE(listTree(target), QStringList()); // neither a temporary nor a partial final name
    QCOMPARE(statOf(source).st_size, off_t(8 * 1024 * 1024));
}

QTEST_GUILESS_MAIN(TestEngineFileopCli)
#include "tst_engine_fileop_cli.moc"
