// Every operation, failed at each of its file-system calls in turn (the
// question answered with retry, skip and cancel), interrupted by EINTR
// where the engine must retry by itself, and killed at each call in turn
// (a child that stops dead there, then a rerun): what it leaves must keep
// the rules of fault_sweep_state.h, and a rerun after a kill must end
// where an uninterrupted run ends.
#include "fault_sweep_operations.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sys/wait.h>

using namespace EngineTestFiles;
using namespace FaultSweep;

class TestEngineFaultSweep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sweep_data();
    void sweep();
    void cleanupTestCase();

    // The faults the sweep found, each at the call that showed it.
    void regressions_data();
    void regressions();

private:
    // The checks of one injection; each rule broken is printed and counted.
    int judge(const Operation &op, const char *mode, long k, const char *call, const QStringList &broken);
    // The run of op with call k failed (or interrupted) and the question
    // answered so: -1 when the run never reached call k, else the rules broken.
    int failAt(const Operation &op, const World &reference, long k, FaultFileSystem::Mode mode, ErrorAnswer answer);
    // The run of op killed at call k, then rerun: -1 when it ended before call k.
    int killAt(const Operation &op, const World &reference, long k);
    // The clean run of op: the world it leaves and the calls it makes.
    World referenceRun(const Operation &op, QList<const char *> *calls);

    QTemporaryDir *m_root = nullptr;
    Places m_places;
    World m_before;
    bool m_lastAsked = false; // the last failure injected was asked about
    int m_totalPoints = 0;
    int m_totalViolations = 0;
    QElapsedTimer m_clock;
};

void TestEngineFaultSweep::initTestCase()
{
    m_root = new QTemporaryDir(QStringLiteral("/dev/shm/korvan-sweep-XXXXXX"));
    if (!m_root->isValid())
        m_root = new QTemporaryDir;
    QVERIFY(m_root->isValid());
    m_places.root = bytes(m_root->path());
    qputenv("XDG_DATA_HOME", m_places.data());
    m_clock.start();
}

void TestEngineFaultSweep::cleanupTestCase()
{
    printf("all operations: %d injection points, %d violations (%.1f s)\n", m_totalPoints, m_totalViolations,
           double(m_clock.elapsed()) / 1000);
    fflush(stdout);
    delete m_root;
}

void TestEngineFaultSweep::sweep_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(Operations)); ++i)
        QTest::newRow(Operations[i].name) << i;
}

int TestEngineFaultSweep::judge(const Operation &op, const char *mode, long k, const char *call,
                                const QStringList &broken)
{
    for (const QString &rule : broken) {
        printf("VIOLATION %s, %s at call %ld (%s): %s\n", op.name, mode, k, call ? call : "-", qPrintable(rule));
    }
    fflush(stdout);
    return int(broken.size());
}

int TestEngineFaultSweep::failAt(const Operation &op, const World &reference, long k, FaultFileSystem::Mode mode,
                                 ErrorAnswer answer)
{
    FaultFileSystem fs;
    prepare(m_places, op);
    const World &before = m_before;
    fs.arm(mode, k);
    const Outcome outcome = runOnce(m_places, op, fs, answer);
    if (!fs.hit())
        return -1;
    const World after = m_places.world();
    const FileOpResult::Status status = outcome.result.status;
    const bool asked = outcome.errorQuestions > 0;
    m_lastAsked = asked;
    // Where the removal of a temporary was refused, it stays for the next
    // operation there to remove.
    const QByteArray call = fs.hit();
    const bool removal = call == "unlinkat" || call == "unlink" || call == "rmdir";
    const Leftovers allowed = removal ? Leftovers::Refused : Leftovers::None;
    QStringList broken = brokenRules(before, after, allowed);
    if (mode == FaultFileSystem::Mode::Interrupt && asked)
        broken << QStringLiteral("an interrupted call was asked about");
    if (asked && answer == ErrorAnswer::Skip && status == FileOpResult::Status::Done)
        broken << QStringLiteral("a skipped item reported as done");
    if (asked && answer == ErrorAnswer::Cancel && status != FileOpResult::Status::Cancelled
        && status != FileOpResult::Status::Failed)
        broken << QStringLiteral("a cancel reported as %1").arg(QLatin1String(statusName(status)));
    if (asked && answer == ErrorAnswer::Retry && outcome.canRetry && status != FileOpResult::Status::Done)
        broken << QStringLiteral("a retry ended %1").arg(QLatin1String(statusName(status)));
    if (status == FileOpResult::Status::Done) {
        for (const QString &difference : unlikeReference(reference, after, outcome.result, allowed))
            broken << QStringLiteral("reported done, but %1").arg(difference);
    } else if (outcome.result.noteCount == 0) {
        broken += incompleteMetadata(reference.target, after.target, "target");
    }
    const QByteArray what = QByteArray(mode == FaultFileSystem::Mode::Interrupt ? "EINTR" : "failure") + ", answered "
        + answerName(answer);
    return judge(op, what.constData(), k, fs.hit(), broken);
}

int TestEngineFaultSweep::killAt(const Operation &op, const World &reference, long k)
{
    prepare(m_places, op);
    const World &before = m_before;
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        FaultFileSystem fs;
        fs.arm(FaultFileSystem::Mode::Kill, k);
        runOnce(m_places, op, fs, ErrorAnswer::Cancel);
        _exit(0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)
        || WEXITSTATUS(status) != FaultFileSystem::KilledStatus)
        return -1; // the run ended before call k
    QStringList broken = brokenRules(before, m_places.world(), Leftovers::Killed);
    // The rerun, and with it the clean-up of what the killed run left;
    // none when the killed run had moved or trashed the item already.
    FaultFileSystem fs;
    const bool itemLeft = exists(bytes(recordOf(m_places, op).pFrom));
    FileOpResult rerun;
    if (op.kind == Kind::Copy || itemLeft) {
        const Outcome outcome = runOnce(m_places, op, fs, ErrorAnswer::Cancel);
        rerun = outcome.result;
        if (outcome.errorQuestions > 0 || rerun.status != FileOpResult::Status::Done)
            broken
                << QStringLiteral("the rerun ended %1: %2").arg(QLatin1String(statusName(rerun.status)), rerun.message);
    }
    const World after = m_places.world();
    broken += brokenRules(before, after, Leftovers::Abandoned);
    for (const QString &difference :
         unlikeReference(reference, after, rerun, Leftovers::Abandoned, op.kind == Kind::Copy ? &before : nullptr))
        broken << QStringLiteral("after the rerun, %1").arg(difference);
    return judge(op, "kill", k, "", broken);
}

World TestEngineFaultSweep::referenceRun(const Operation &op, QList<const char *> *calls)
{
    prepare(m_places, op);
    m_before = m_places.world(); // every run of op starts from this world
    FaultFileSystem counter;
    counter.arm(FaultFileSystem::Mode::Count, 0);
    const Outcome clean = runOnce(m_places, op, counter, ErrorAnswer::Cancel);
    *calls = counter.names();
    return clean.result.status == FileOpResult::Status::Done ? m_places.world() : World();
}

void TestEngineFaultSweep::sweep()
{
    QFETCH(int, index);
    const Operation &op = Operations[index];
    // The uninterrupted run: the world every rerun must reach, and the calls it makes.
    QList<const char *> calls;
    const World reference = referenceRun(op, &calls);
    QVERIFY(!reference.target.isEmpty() || !reference.trash.isEmpty());
    QVERIFY(calls.size() > 20);
    if (qEnvironmentVariableIsSet("KORVAN_SWEEP_CALLS")) { // the calls in order, to name regression cases
        for (int k = 1; k <= calls.size(); ++k)
            printf("%s: %d %s\n", op.name, k, calls[k - 1]);
        return;
    }

    int points = 0;
    int violations = 0;
    const auto count = [&](int broken) {
        if (broken >= 0) {
            ++points;
            violations += broken;
        }
    };
    for (long k = 1; k <= calls.size(); ++k) {
        // Where the failure is not asked about, the answer makes no difference.
        m_lastAsked = false;
        count(failAt(op, reference, k, FaultFileSystem::Mode::Fail, ErrorAnswer::Retry));
        if (m_lastAsked) {
            for (const ErrorAnswer answer : {ErrorAnswer::Skip, ErrorAnswer::Cancel})
                count(failAt(op, reference, k, FaultFileSystem::Mode::Fail, answer));
        }
        if (FaultFileSystem::retriesInterrupt(calls[k - 1]))
            count(failAt(op, reference, k, FaultFileSystem::Mode::Interrupt, ErrorAnswer::Cancel));
        // A kill of a process whose threads race: left to the runs whose calls come in one order.
        if (op.workers == 0 || op.inStep)
            count(killAt(op, reference, k));
    }
    printf("%s: %d injection points, %d violations\n", op.name, points, violations);
    fflush(stdout);
    m_totalPoints += points;
    m_totalViolations += violations;
    QCOMPARE(violations, 0);
}

void TestEngineFaultSweep::regressions_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("previous"); // the call just before the one injected ("": any)
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<int>("occurrence"); // of call (after previous), from 1
    QTest::addColumn<bool>("kill"); // else a failure answered with answer
    QTest::addColumn<int>("answer");
    const int skip = int(ErrorAnswer::Skip), retry = int(ErrorAnswer::Retry);
    // A folder that could not be told apart on the way back (fstat failed)
    // was walked anyway, and leaving it took the folder above off the
    // stack: the program crashed at the top of the tree.
    QTest::newRow("copy, the held folder not told apart, skipped")
        << 0 << QByteArray("fstat") << QByteArray("fstat") << 1 << false << skip;
    // A folder made but not opened, then retried, kept the owner-only mode
    // it is made with (drwx-----T), and the copy said it was done.
    QTest::newRow("copy, a new folder not opened, retried")
        << 0 << QByteArray("mkdirat") << QByteArray("openat") << 1 << false << retry;
    // Killed between making a folder and marking it unfinished: the rerun
    // took it for the user's and left it owner-only.
    QTest::newRow("copy, killed before a new folder is marked")
        << 0 << QByteArray("mkdirat") << QByteArray("openat") << 1 << true << 0;
    // A folder's mode or time that could not be set was dropped silently.
    QTest::newRow("copy, a folder's mode refused, retried")
        << 0 << QByteArray("unlinkat") << QByteArray("fchmod") << 1 << false << retry;
    // Killed while the info file is written: trash-list met a half-written
    // entry for good.
    QTest::newRow("trash, killed writing the info file")
        << 4 << QByteArray("open") << QByteArray("write") << 1 << true << 0;
    // Killed before the item reached the trash: its info file stayed, an
    // entry in the trash without its file, for good.
    QTest::newRow("trash, killed before the item is moved")
        << 4 << QByteArray() << QByteArray("renameat2") << 1 << true << 0;
    // Killed during a merge: the info files reserved for what it replaces
    // stayed as entries without their files.
    QTest::newRow("merge, killed after the trash is reserved")
        << 2 << QByteArray() << QByteArray("renameat2") << 2 << true << 0;
}

void TestEngineFaultSweep::regressions()
{
    QFETCH(int, index);
    QFETCH(QByteArray, previous);
    QFETCH(QByteArray, call);
    QFETCH(int, occurrence);
    QFETCH(bool, kill);
    QFETCH(int, answer);
    const Operation &op = Operations[index];
    QList<const char *> calls;
    const World reference = referenceRun(op, &calls);
    long k = 0;
    for (long i = 0, seen = 0; i < calls.size() && k == 0; ++i) {
        if (calls[i] == call && (previous.isEmpty() || (i > 0 && calls[i - 1] == previous)) && ++seen == occurrence)
            k = i + 1;
    }
    QVERIFY2(k > 0, "the operation no longer makes that call");
    const int broken = kill ? killAt(op, reference, k)
                            : failAt(op, reference, k, FaultFileSystem::Mode::Fail, ErrorAnswer(answer));
    QCOMPARE(broken, 0);
}

QTEST_GUILESS_MAIN(TestEngineFaultSweep)
#include "tst_engine_fault_sweep.moc"
