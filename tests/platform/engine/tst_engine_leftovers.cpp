// What a killed move leaves behind: its hidden staging folders and
// temporaries are removed by the next operation that writes there, and a
// rerun does not fill the trash with copies of what is already in place.
#include "engine_move_fixture.h"
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"

#include <csignal>
#include <cstring>
#include <sys/wait.h>

namespace {

// Runs the record in a child that is killed at the first call of point.
bool killedAt(const char *point, const FileOpRecord &record)
{
    const pid_t child = fork();
    if (child == 0) {
        ScriptedEngineQuestions questions;
        runWithHook(
            record, questions,
            [point](const char *at, const QByteArray &) {
                if (strcmp(at, point) == 0)
                    raise(SIGKILL);
            },
            64 * 1024);
        _exit(0);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFSIGNALED(status);
}

// A process id that is certainly not running now.
QByteArray deadPid()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return QByteArray::number(qint64(child));
}

} // namespace

class TestEngineLeftovers : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpVolumes(); }
    void cleanupTestCase() { tearDownVolumes(); }
    void cleanup() { emptyVolumes(); }
    void stagingLeftByAKilledMoveIsRemovedByTheNext();
    void onlyAbandonedLeftoversAreRemoved();
    void rerunAfterAKillDuringRemovalTrashesNothing();
};

void TestEngineLeftovers::stagingLeftByAKilledMoveIsRemovedByTheNext()
{
    requireTwoVolumes();
    const QByteArray from = bytes(m_shm->path());
    const QByteArray to = bytes(m_disk->path());
    QVERIFY(makeDirs(from + "/src") && makeDirs(to + "/dest"));
    makeBigFile(from + "/src/big.bin", 1024 * 1024);
    QVERIFY(killedAt("chunk-copied", moveRecord(text(from + "/src"), text(to + "/dest"))));
    QVERIFY(hasTemporaries(to + "/dest"));

    ScriptedEngineQuestions questions;
    QCOMPARE(runWithHook(moveRecord(text(from + "/src"), text(to + "/dest")), questions).status,
             FileOpResult::Status::Done);
    QCOMPARE(listTree(to + "/dest"), QStringList({QStringLiteral("src"), QStringLiteral("src/big.bin")}));
}

void TestEngineLeftovers::onlyAbandonedLeftoversAreRemoved()
{
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDirs(root + "/src") && makeDirs(root + "/dst/src"));
    QVERIFY(writeFile(root + "/src/f", "f"));
    const QByteArray dead = ".korvan-" + deadPid();
    const QByteArray alive = ".korvan-" + QByteArray::number(qint64(getppid()));
    QVERIFY(writeFile(root + "/dst/src/" + dead + "-7.part", "half a file"));
    QVERIFY(makeDirs(root + "/dst/src/" + dead + "-8.part/tree"));
    QVERIFY(writeFile(root + "/dst/src/" + alive + "-9.part", "another run's, still going"));
    QVERIFY(writeFile(root + "/dst/src/" + dead + "-notes.txt", "not a name we give"));

    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(copyRecord(text(root + "/src"), text(root + "/dst")), questions).status,
             FileOpResult::Status::Done);
    // In name order, whichever of the two process numbers sorts first.
    QStringList kept {QString::fromLatin1(alive + "-9.part"), QString::fromLatin1(dead + "-notes.txt"),
                      QStringLiteral("f")};
    kept.sort();
    QCOMPARE(listTree(root + "/dst/src"), kept);
}

void TestEngineLeftovers::rerunAfterAKillDuringRemovalTrashesNothing()
{
    requireTwoVolumes();
    const QByteArray from = bytes(m_shm->path());
    const QByteArray to = bytes(m_disk->path());
    const QByteArray trash = bytes(m_data->path()) + "/Trash";
    QVERIFY(makeDirs(from + "/album/sub"));
    for (int i = 0; i < 20; ++i)
        QVERIFY(writeFile(from + "/album/sub/p" + QByteArray::number(i), QByteArray(1000 + i, 'p')));
    QVERIFY(killedAt("copy-placed", moveRecord(text(from + "/album"), text(to))));
    QCOMPARE(listTree(from + "/album"), listTree(to + "/album")); // everything placed, nothing removed yet

    ScriptedEngineQuestions questions;
    QCOMPARE(runWithHook(moveRecord(text(from + "/album"), text(to)), questions).status, FileOpResult::Status::Done);
    QVERIFY(!exists(from + "/album"));
    QCOMPARE(readFile(to + "/album/sub/p19"), QByteArray(1019, 'p'));
    QCOMPARE(listTree(trash + "/files"), QStringList());
    QVERIFY(!hasTemporaries(to));

    // A file of the same size and time but other content is still replaced, restorably.
    QVERIFY(makeDirs(from + "/album/sub") && writeFile(from + "/album/sub/p0", QByteArray(1000, 'q')));
    const struct stat placed = statOf(to + "/album/sub/p0");
    const struct timespec same[2] = {placed.st_atim, placed.st_mtim};
    QVERIFY(utimensat(AT_FDCWD, QByteArray(from + "/album/sub/p0").constData(), same, 0) == 0);
    QCOMPARE(runWithHook(moveRecord(text(from + "/album"), text(to)), questions).status, FileOpResult::Status::Done);
    QCOMPARE(readFile(to + "/album/sub/p0"), QByteArray(1000, 'q'));
    QCOMPARE(readFile(trash + "/files/p0"), QByteArray(1000, 'p'));
}

QTEST_GUILESS_MAIN(TestEngineLeftovers)
#include "tst_engine_leftovers.moc"
