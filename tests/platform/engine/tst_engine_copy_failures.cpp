#include "platform/engine/file_op_engine.h"
#include "platform/engine/file_op_runner.h"
#include "platform/engine/fs_util.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <cstring>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace EngineTestFiles;

// Copies that cannot, or must not, go through: refusals, paths too long,
// cancels, errors, a full disk and unreadable folders.
class TestEngineCopyFailures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusesCopyOntoItself_data();
    void refusesCopyOntoItself();
    void refusesUnknownFunction();
    void pathLongerThanPathMaxIsCopied();
    void cancelMidCopyLeavesNoPartialFile();
    void cancelledReplaceKeepsOldTarget();
    void errorAnsweredCancelFailsWithReason();
    void fullDiskIsReportedBeforeCopying();
    void unreadableSubtreeIsReported();

private:
    QTemporaryDir m_dataHome; // replaced files go to this trash, not the user's
};

void TestEngineCopyFailures::initTestCase()
{
    QVERIFY(m_dataHome.isValid());
    qputenv("XDG_DATA_HOME", bytes(m_dataHome.path()));
}

void TestEngineCopyFailures::refusesCopyOntoItself_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("destination");
    QTest::newRow("file into its own folder") << QByteArray("/dir/a.txt") << QByteArray("/dir");
    QTest::newRow("file, folder with slash and dot") << QByteArray("/dir/a.txt") << QByteArray("/dir/./");
    QTest::newRow("folder into its parent") << QByteArray("/dir") << QByteArray("");
    QTest::newRow("folder into itself") << QByteArray("/dir") << QByteArray("/dir");
    QTest::newRow("folder into its subfolder") << QByteArray("/dir") << QByteArray("/dir/sub/new");
    QTest::newRow("folder via a link to it") << QByteArray("/dir") << QByteArray("/link-to-dir/sub");
    QTest::newRow("file onto a hard link of itself") << QByteArray("/dir/a.txt") << QByteArray("/other");
}

void TestEngineCopyFailures::refusesCopyOntoItself()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, destination);
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/dir/sub"));
    QVERIFY(makeDirs(root + "/other"));
    QVERIFY(writeFile(root + "/dir/a.txt", "precious"));
    QVERIFY(link(QByteArray(root + "/dir/a.txt").constData(), QByteArray(root + "/other/a.txt").constData()) == 0);
    QVERIFY(symlink(QByteArray(root + "/dir").constData(), QByteArray(root + "/link-to-dir").constData()) == 0);
    const QStringList before = listTree(root);

    for (const bool moving : {false, true}) {
        ScriptedEngineQuestions questions;
        const FileOpRecord record = moving ? moveRecord(text(root + source), text(root + destination))
                                           : copyRecord(text(root + source), text(root + destination));
        const FileOpResult result = runSync(record, questions);
        QCOMPARE(result.status, FileOpResult::Status::Failed);
        QVERIFY2(!result.message.isEmpty(), "a refusal says why");
        QCOMPARE(questions.errorQuestions.size(), 1);
        QVERIFY(!questions.errorQuestions.first().canSkip);
        QCOMPARE(readFile(root + "/dir/a.txt"), QByteArray("precious"));
        QCOMPARE(listTree(root), before);
    }
}

void TestEngineCopyFailures::refusesUnknownFunction()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(writeFile(root + "/a.txt", "a"));
    for (const quint32 wFunc : {0u, 4u, 0x12u}) {
        FileOpRecord record = copyRecord(text(root + "/a.txt"), text(root + "/dst"));
        record.wFunc = wFunc;
        ScriptedEngineQuestions questions;
        const FileOpResult result = runSync(record, questions);
        QCOMPARE(result.status, FileOpResult::Status::Failed);
        QVERIFY(result.message.contains(QString::number(wFunc)));
        QVERIFY(!exists(root + "/dst"));
        QVERIFY(exists(root + "/a.txt"));
    }
    // A delete without FOF_ALLOWUNDO would be permanent: refused, nothing touched.
    FileOpRecord permanent = deleteRecord(text(root + "/a.txt"));
    permanent.fFlags = FileOpFlag::NoConfirmation;
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(permanent, questions).status, FileOpResult::Status::Failed);
    QVERIFY(exists(root + "/a.txt"));
}

void TestEngineCopyFailures::pathLongerThanPathMaxIsCopied()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    // The source fits PATH_MAX; the same tree under a longer destination does not.
    QByteArray deep = root + "/s";
    while (deep.size() < 4000)
        deep += '/' + QByteArray(90, 'd');
    QVERIFY(makeDirs(deep));
    QVERIFY(writeFile(deep + "/f", "x"));
    QVERIFY(writeFile(root + "/s/short.txt", "short"));

    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    const QByteArray target = root + '/' + QByteArray(200, 'D');
    const FileOpResult result = runSync(copyRecord(text(root + "/s"), text(target)), questions);
    // Copied through the folders' descriptors: the path's length does not matter.
    QCOMPARE(result.status, FileOpResult::Status::Done);
    QVERIFY(questions.errorQuestions.isEmpty());
    QCOMPARE(readFile(target + "/s/short.txt"), QByteArray("short"));
    QVERIFY(target.size() + deep.size() - root.size() > PATH_MAX);
    int fd = open(target.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const QByteArray &name : deep.mid(root.size() + 1).split('/')) {
        const int next = fd >= 0 ? openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        close(fd);
        fd = next;
    }
    struct stat leaf;
    QVERIFY(fd >= 0 && fstatat(fd, "f", &leaf, 0) == 0 && leaf.st_size == 1);
    close(fd);
}

void TestEngineCopyFailures::cancelMidCopyLeavesNoPartialFile()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    makeBigFile(root + "/big.bin", 8 * 1024 * 1024);
    QVERIFY(makeDirs(root + "/dst"));

    FileOpRunner runner;
    runner.setTestSettings(chunkedSettings(64 * 1024, 20000)); // 128 chunks of 20 ms: ~2.5 s
    qint64 bytesSeen = 0;
    connect(&runner, &FileOpRunner::progress, this, [&](const FileOpProgress &p) {
        bytesSeen = std::max(bytesSeen, p.bytesDone);
        if (p.bytesDone > 0)
            runner.cancel();
    });
    FileOpParams params;
    QString error;
    QVERIFY(FileOpParams::fromRecord(copyRecord(text(root + "/big.bin"), text(root + "/dst")), &params, &error));
    ScriptedEngineQuestions questions;
    const FileOpResult result = runner.run(params, questions);
    QCOMPARE(result.status, FileOpResult::Status::Cancelled);
    QVERIFY(bytesSeen > 0 && bytesSeen < 8 * 1024 * 1024);
    QCOMPARE(listTree(root + "/dst"), QStringList());
    QCOMPARE(statOf(root + "/big.bin").st_size, off_t(8 * 1024 * 1024));
    QVERIFY(!runner.isRunning());
}

void TestEngineCopyFailures::cancelledReplaceKeepsOldTarget()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    makeBigFile(root + "/big.bin", 4 * 1024 * 1024);
    QVERIFY(makeDirs(root + "/dst"));
    QVERIFY(writeFile(root + "/dst/big.bin", "the old version"));

    FileOpRunner runner;
    runner.setTestSettings(chunkedSettings(64 * 1024, 20000));
    connect(&runner, &FileOpRunner::progress, this, [&](const FileOpProgress &p) {
        if (p.bytesDone > 0) {
            // Mid-copy the target still holds the old content.
            QCOMPARE(readFile(root + "/dst/big.bin"), QByteArray("the old version"));
            runner.cancel();
        }
    });
    FileOpParams params;
    QString error;
    QVERIFY(FileOpParams::fromRecord(copyRecord(text(root + "/big.bin"), text(root + "/dst")), &params, &error));
    ScriptedEngineQuestions questions;
    questions.defaultOverwrite = OverwriteAnswer::Overwrite;
    QCOMPARE(runner.run(params, questions).status, FileOpResult::Status::Cancelled);
    QCOMPARE(readFile(root + "/dst/big.bin"), QByteArray("the old version"));
    QCOMPARE(listTree(root + "/dst"), QStringList {QStringLiteral("big.bin")});
}

void TestEngineCopyFailures::errorAnsweredCancelFailsWithReason()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/src/sub"));
    QVERIFY(mkfifo(QByteArray(root + "/src/sub/pipe").constData(), 0644) == 0);
    QVERIFY(chmod(QByteArray(root + "/src/sub").constData(), 0751) == 0);
    QVERIFY(chmod(QByteArray(root + "/src").constData(), 0705) == 0);

    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Cancel;
    const FileOpResult result = runSync(copyRecord(text(root + "/src"), text(root + "/dst")), questions);
    QCOMPARE(result.status, FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QVERIFY(!questions.errorQuestions.first().canRetry);
    QVERIFY(result.message.contains(text(root + "/src/sub/pipe")));
    QVERIFY(result.message.contains(questions.errorQuestions.first().reason));
    // The folders made before the stop are not left owner-only.
    QCOMPARE(statOf(root + "/dst/src").st_mode & 07777, mode_t(0705));
    QCOMPARE(statOf(root + "/dst/src/sub").st_mode & 07777, mode_t(0751));
    QVERIFY(!exists(root + "/dst/src/sub/pipe"));
}

void TestEngineCopyFailures::fullDiskIsReportedBeforeCopying()
{
    if (geteuid() != 0)
        QSKIP("needs root to mount a small tmpfs for the full-disk case");
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/small"));
    if (mount("tmpfs", QByteArray(root + "/small").constData(), "tmpfs", 0, "size=2m") != 0)
        QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: ") + QString::fromLocal8Bit(strerror(errno))));
    auto unmount = qScopeGuard([&] { umount2(QByteArray(root + "/small").constData(), MNT_DETACH); });

    QVERIFY(makeDirs(root + "/src"));
    makeBigFile(root + "/src/1-fits.bin", 512 * 1024);
    makeBigFile(root + "/src/2-too-big.bin", 3 * 1024 * 1024);

    for (const ErrorAnswer answer : {ErrorAnswer::Skip, ErrorAnswer::Cancel}) {
        ScriptedEngineQuestions questions;
        questions.defaultError = answer;
        questions.defaultOverwrite = OverwriteAnswer::OverwriteAll;
        const FileOpResult result = runSync(copyRecord(text(root + "/src"), text(root + "/small")), questions,
                                            nullptr, withoutPreflight());
        QCOMPARE(result.status,
                 answer == ErrorAnswer::Skip ? FileOpResult::Status::Skipped : FileOpResult::Status::Failed);
        QCOMPARE(questions.errorQuestions.size(), 1);
        QCOMPARE(questions.errorQuestions.first().errorCode, ENOSPC);
        QVERIFY(questions.errorQuestions.first().path.endsWith(QStringLiteral("2-too-big.bin")));
        QVERIFY(!exists(root + "/small/src/2-too-big.bin"));
        QVERIFY(!hasTemporaries(root + "/small"));
        QVERIFY(result.message.contains(QStringLiteral("空间不足")));
    }
    QCOMPARE(statOf(root + "/small/src/1-fits.bin").st_size, off_t(512 * 1024));
}

void TestEngineCopyFailures::unreadableSubtreeIsReported()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/src/locked"));
    QVERIFY(makeDirs(root + "/dst"));
    QVERIFY(writeFile(root + "/src/ok.txt", "ok"));
    QVERIFY(writeFile(root + "/src/locked/secret.txt", "secret"));
    QVERIFY(chmod(QByteArray(root + "/src/locked").constData(), 0) == 0);
    auto unlock = qScopeGuard([&] { chmod(QByteArray(root + "/src/locked").constData(), 0755); });

    const auto runCopy = [&](QString *reason) {
        ScriptedEngineQuestions questions;
        questions.defaultError = ErrorAnswer::Skip;
        const FileOpResult result = runSync(copyRecord(text(root + "/src"), text(root + "/dst")), questions);
        if (!questions.errorQuestions.isEmpty())
            *reason = questions.errorQuestions.first().reason;
        return result.status;
    };

    FileOpResult::Status status;
    QString reason;
    if (geteuid() != 0) {
        status = runCopy(&reason);
    } else {
        // Root reads everything, so the copy runs in a child that drops to nobody.
        QVERIFY(chmod(root.constData(), 0777) == 0);
        QVERIFY(chmod(QByteArray(root + "/src").constData(), 0777) == 0);
        QVERIFY(chmod(QByteArray(root + "/dst").constData(), 0777) == 0);
        int channel[2];
        QVERIFY(pipe(channel) == 0);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            close(channel[0]);
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(100);
            QString childReason;
            const FileOpResult::Status childStatus = runCopy(&childReason);
            const QByteArray report = QByteArray::number(int(childStatus)) + '\n' + childReason.toUtf8();
            if (write(channel[1], report.constData(), size_t(report.size())) < 0)
                _exit(101);
            _exit(0);
        }
        close(channel[1]);
        const QByteArray report = readToEnd(channel[0]);
        int exitStatus = 0;
        waitpid(child, &exitStatus, 0);
        if (WEXITSTATUS(exitStatus) == 100)
            QSKIP("cannot drop to the nobody user for the permission case");
        QCOMPARE(WEXITSTATUS(exitStatus), 0);
        status = FileOpResult::Status(report.left(report.indexOf('\n')).toInt());
        reason = QString::fromUtf8(report.mid(report.indexOf('\n') + 1));
    }
    QCOMPARE(status, FileOpResult::Status::Skipped);
    QCOMPARE(reason, QStringLiteral("没有权限"));
    QCOMPARE(readFile(root + "/dst/src/ok.txt"), QByteArray("ok"));
    QVERIFY(!exists(root + "/dst/src/locked/secret.txt"));
}

QTEST_GUILESS_MAIN(TestEngineCopyFailures)
#include "tst_engine_copy_failures.moc"
