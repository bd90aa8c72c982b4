// Verification after copying: a copy whose stored bytes differ from the
// source (changed by the test hook once the copy's data is complete, as a
// lying medium would) is caught, named, never published, and a move keeps
// its source; the user's retry, skip and cancel work as for any error.
#include "engine_move_fixture.h"
#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"

#include <QDir>

namespace {

const std::atomic_bool never {false};
const QByteArray Victim = "victim-";

struct VerifiedRun
{
    FileOpResult result;
    ScriptedEngineQuestions questions;
    qint64 bytesVerified = 0;
    bool sawVerifying = false;
    int corrupted = 0;
};

// Changes one byte of every copy whose content starts with Victim, at most
// corruptions times, through the descriptor the engine wrote it by.
EngineTestSettings::Hook corrupting(int *corrupted, int corruptions)
{
    return [corrupted, corruptions](const char *point, const QByteArray &path) {
        if (qstrcmp(point, "copy-complete") != 0 || *corrupted >= corruptions)
            return;
        const int fd = open(path.constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return;
        char head[16] = {};
        if (pread(fd, head, Victim.size(), 0) == Victim.size() && QByteArray(head, Victim.size()) == Victim) {
            const char flipped = 'V';
            if (pwrite(fd, &flipped, 1, 0) == 1)
                ++*corrupted;
        }
        close(fd);
    };
}

void runVerified(VerifiedRun *run, const FileOpRecord &record, bool verify, int corruptions, int workers = -1,
                 EngineTestSettings::Hook hook = {}, const std::atomic_bool &cancel = never)
{
    FileOpParams params;
    QString error;
    QVERIFY(FileOpParams::fromRecord(record, &params, &error));
    params.verify = verify;
    FileOpEngine engine(run->questions, cancel);
    EngineTestSettings settings;
    settings.hook = hook ? hook : corrupting(&run->corrupted, corruptions);
    settings.workers = workers;
    engine.setTestSettings(settings);
    engine.setProgressHandler([run](const FileOpProgress &progress) {
        run->bytesVerified = progress.bytesVerified;
        run->sawVerifying = run->sawVerifying || progress.verifying;
    });
    run->result = engine.run(params);
}

// count files of 4 KiB (each different), one of them the victim; and a big
// file of 40 MiB copied on the job's own thread.
void makeSource(const QByteArray &root, int count, int victim)
{
    makeDirs(root + "/many");
    for (int i = 0; i < count; ++i) {
        QByteArray content = (i == victim ? Victim : QByteArray("file-")) + QByteArray::number(i);
        content.append(QByteArray(4096 - content.size(), char('a' + i % 26)));
        writeFile(root + "/many/f" + QByteArray::number(i), content);
    }
    makeBigFile(root + "/big.bin", 40 * 1024 * 1024);
}

// The number in a copy's content ("file-12aaa…" → 12), read through its descriptor path.
int numberIn(const QByteArray &path)
{
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    char head[32] = {};
    const ssize_t n = fd < 0 ? -1 : pread(fd, head, sizeof head - 1, 0);
    if (fd >= 0)
        close(fd);
    const QByteArray text(head, int(std::max<ssize_t>(n, 0)));
    if (!text.startsWith("file-"))
        return -1;
    int end = 5;
    while (end < text.size() && text.at(end) >= '0' && text.at(end) <= '9')
        ++end;
    return text.mid(5, end - 5).toInt();
}

// Called from the engine's threads: tells instead of failing there.
bool flipFirstByte(const QByteArray &path)
{
    const int fd = open(path.constData(), O_RDWR | O_CLOEXEC);
    const char flipped = 'F';
    const bool flipped1 = fd >= 0 && pwrite(fd, &flipped, 1, 0) == 1;
    if (fd >= 0)
        close(fd);
    return flipped1;
}

// A batch of small copies a worker wrote before reading them back: the
// numbers of their files, in order.
struct Batches
{
    QList<QList<int>> seen;
    static QList<int> numbersOf(const QByteArray &paths)
    {
        QList<int> numbers;
        for (const QByteArray &path : paths.split('\n'))
            numbers.append(numberIn(path));
        return numbers;
    }
};

} // namespace

class TestEngineVerify : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void init() { setUpVolumes(); }
    void cleanup() { tearDownVolumes(); }

    void corruptedCopyIsCaught_data()
    {
        QTest::addColumn<bool>("verify");
        QTest::addColumn<int>("workers");
        QTest::addRow("verified, workers") << true << -1;
        QTest::addRow("verified, no workers") << true << 0;
        QTest::addRow("not verified: the corruption goes unseen") << false << -1;
    }
    void corruptedCopyIsCaught()
    {
        QFETCH(bool, verify);
        QFETCH(int, workers);
        const QByteArray src = bytes(m_disk->path()) + "/src";
        const QByteArray dst = bytes(m_disk->path()) + "/dst";
        makeSource(src, 1000, 537);
        VerifiedRun run;
        run.questions.defaultError = ErrorAnswer::Skip;
        runVerified(&run, copyRecord(text(src), text(dst)), verify, 1000, workers);
        QVERIFY(run.corrupted >= 1);
        const QByteArray victim = dst + "/src/many/f537";
        if (!verify) {
            // Proves the corruption is real: without verification it is kept as done.
            QCOMPARE(run.result.status, FileOpResult::Status::Done);
            QVERIFY(readFile(victim).startsWith("Victim-537"));
            QCOMPARE(run.bytesVerified, qint64(0));
            return;
        }
        QCOMPARE(run.result.status, FileOpResult::Status::Skipped);
        QCOMPARE(run.questions.errorQuestions.size(), 1);
        QCOMPARE(run.questions.errorQuestions.at(0).path, text(victim));
        QCOMPARE(run.questions.errorQuestions.at(0).reason, EngineTexts::VerifyMismatch);
        QCOMPARE(run.result.itemCount, 1);
        QCOMPARE(run.result.items.at(0).path, text(victim));
        QVERIFY(run.result.items.at(0).reason.endsWith(EngineTexts::VerifyMismatch));
        QVERIFY(!exists(victim)); // never published
        QVERIFY(!hasTemporaries(dst));
        // No false alarm on the rest.
        for (int i = 0; i < 1000; ++i) {
            if (i != 537)
                QCOMPARE(readFile(dst + "/src/many/f" + QByteArray::number(i)),
                         readFile(src + "/many/f" + QByteArray::number(i)));
        }
        QCOMPARE(readFile(dst + "/src/big.bin"), readFile(src + "/big.bin"));
        QVERIFY(run.sawVerifying);
        QCOMPARE(run.bytesVerified, qint64(999 * 4096 + 40 * 1024 * 1024));
    }

    // A read-back that begins and ends between two progress reports (one
    // small file takes a few milliseconds) still shows in the next report.
    void shortReadBackStillShows_data()
    {
        QTest::addColumn<int>("workers");
        QTest::addRow("on a worker") << -1;
        QTest::addRow("on the job's thread") << 0;
    }
    void shortReadBackStillShows()
    {
        QFETCH(int, workers);
        const QByteArray src = bytes(m_disk->path()) + "/one.txt";
        const QByteArray dst = bytes(m_disk->path()) + "/dst";
        writeFile(src, QByteArray(3000, 'k'));
        makeDirs(dst);
        VerifiedRun run;
        runVerified(&run, copyRecord(text(src), text(dst)), true, 0, workers);
        QCOMPARE(run.result.status, FileOpResult::Status::Done);
        QCOMPARE(run.bytesVerified, qint64(3000));
        QVERIFY(run.sawVerifying);
    }

    void caughtEveryTime()
    {
        // Ten copies in a row, on the fast volume: each names the one file.
        const QByteArray src = bytes(m_shm->path()) + "/src";
        makeSource(src, 1000, 222);
        for (int round = 0; round < 10; ++round) {
            const QByteArray dst = bytes(m_shm->path()) + "/dst" + QByteArray::number(round);
            VerifiedRun run;
            run.questions.defaultError = ErrorAnswer::Skip;
            runVerified(&run, copyRecord(text(src), text(dst)), true, 1000);
            QCOMPARE(run.result.status, FileOpResult::Status::Skipped);
            QCOMPARE(run.result.itemCount, 1);
            QCOMPARE(run.result.items.at(0).path, text(dst + "/src/many/f222"));
            removeTree(dst);
        }
    }

    void answersWorkAsForAnyError_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("victimCopied");
        QTest::addRow("retry, the medium then keeps it")
            << int(ErrorAnswer::Retry) << int(FileOpResult::Status::Done) << true;
        QTest::addRow("cancel") << int(ErrorAnswer::Cancel) << int(FileOpResult::Status::Failed) << false;
    }
    void answersWorkAsForAnyError()
    {
        QFETCH(int, answer);
        QFETCH(int, status);
        QFETCH(bool, victimCopied);
        const QByteArray src = bytes(m_disk->path()) + "/src";
        const QByteArray dst = bytes(m_disk->path()) + "/dst";
        makeSource(src, 20, 7);
        VerifiedRun run;
        run.questions.errorAnswers = {ErrorAnswer(answer)};
        // Corrupted twice: the worker's copy and the job's own second try.
        runVerified(&run, copyRecord(text(src), text(dst)), true, 2);
        QCOMPARE(int(run.result.status), status);
        QCOMPARE(run.questions.errorQuestions.size(), 1);
        QVERIFY(run.questions.errorQuestions.at(0).canRetry);
        const QByteArray victim = dst + "/src/many/f7";
        QCOMPARE(exists(victim), victimCopied);
        if (victimCopied)
            QCOMPARE(readFile(victim), readFile(src + "/many/f7"));
        QVERIFY(!hasTemporaries(dst));
    }

    void corruptionMidBatchIsCaught()
    {
        // The middle file of the first batch of three or more is changed
        // once all of them are written: it alone is refused and named (also
        // when the job's thread tries it again), the others are published.
        const QByteArray src = bytes(m_disk->path()) + "/src";
        const QByteArray dst = bytes(m_disk->path()) + "/dst";
        makeSource(src, 300, -1);
        Batches batches;
        int victim = -1;
        QList<int> victimBatch;
        const auto hook = [&](const char *point, const QByteArray &path) {
            if (qstrcmp(point, "batch-written") == 0) {
                const QList<QByteArray> copies = path.split('\n');
                batches.seen.append(Batches::numbersOf(path));
                if (victim < 0 && copies.size() >= 3 && flipFirstByte(copies.at(copies.size() / 2))) {
                    victimBatch = batches.seen.last();
                    victim = victimBatch.at(copies.size() / 2);
                }
            } else if (qstrcmp(point, "copy-complete") == 0 && victim >= 0 && numberIn(path) == victim) {
                flipFirstByte(path); // the job's own second try fails too
            }
        };
        VerifiedRun run;
        run.questions.defaultError = ErrorAnswer::Skip;
        runVerified(&run, copyRecord(text(src), text(dst)), true, 0, -1, hook);
        QVERIFY2(victim >= 0, "no batch of three or more files was read back");
        QCOMPARE(run.result.status, FileOpResult::Status::Skipped);
        const QByteArray victimCopy = dst + "/src/many/f" + QByteArray::number(victim);
        QCOMPARE(run.questions.errorQuestions.size(), 1);
        QCOMPARE(run.questions.errorQuestions.at(0).path, text(victimCopy));
        QCOMPARE(run.questions.errorQuestions.at(0).reason, EngineTexts::VerifyMismatch);
        QVERIFY(!exists(victimCopy));
        for (const int i : std::as_const(victimBatch)) {
            if (i != victim)
                QCOMPARE(readFile(dst + "/src/many/f" + QByteArray::number(i)),
                         readFile(src + "/many/f" + QByteArray::number(i)));
        }
        for (int i = 0; i < 300; ++i) {
            if (i != victim)
                QVERIFY(exists(dst + "/src/many/f" + QByteArray::number(i)));
        }
        QVERIFY(!hasTemporaries(dst));
    }

    void cancelMidBatchPublishesNothingOfIt()
    {
        // Cancelled once the first batch is written and before it is read
        // back: none of its files gets a name, and nothing staged is left.
        const QByteArray src = bytes(m_disk->path()) + "/src";
        const QByteArray dst = bytes(m_disk->path()) + "/dst";
        makeSource(src, 300, -1);
        std::atomic_bool cancel {false};
        QList<int> firstBatch;
        const auto hook = [&](const char *point, const QByteArray &path) {
            if (qstrcmp(point, "batch-written") == 0 && firstBatch.isEmpty()) {
                firstBatch = Batches::numbersOf(path);
                cancel = true;
            }
        };
        VerifiedRun run;
        runVerified(&run, copyRecord(text(src), text(dst)), true, 0, -1, hook, cancel);
        QVERIFY2(!firstBatch.isEmpty(), "no batch was read back");
        QCOMPARE(run.result.status, FileOpResult::Status::Cancelled);
        for (const int i : std::as_const(firstBatch))
            QVERIFY(!exists(dst + "/src/many/f" + QByteArray::number(i)));
        // What was published is complete and verified.
        for (int i = 0; i < 300; ++i) {
            const QByteArray copy = dst + "/src/many/f" + QByteArray::number(i);
            if (exists(copy))
                QCOMPARE(readFile(copy), readFile(src + "/many/f" + QByteArray::number(i)));
        }
        QVERIFY(!hasTemporaries(dst));
    }

    void moveKeepsSourceOfUnverifiedCopy()
    {
        // Across volumes a move copies: the source of the copy that did not
        // verify stays, every other one is moved.
        const QByteArray src = bytes(m_disk->path()) + "/src";
        const QByteArray dst = bytes(m_shm->path()) + "/dst";
        if (statOf(bytes(m_disk->path())).st_dev == statOf(bytes(m_shm->path())).st_dev)
            QSKIP("needs a second volume");
        makeSource(src, 50, 31);
        const QByteArray victimSource = readFile(src + "/many/f31");
        VerifiedRun run;
        run.questions.defaultError = ErrorAnswer::Skip;
        runVerified(&run, moveRecord(text(src), text(dst)), true, 1000);
        QCOMPARE(run.result.status, FileOpResult::Status::Skipped);
        QCOMPARE(readFile(src + "/many/f31"), victimSource);
        QVERIFY(!exists(dst + "/src/many/f31"));
        QVERIFY(!exists(src + "/many/f30"));
        QVERIFY(exists(dst + "/src/many/f30"));
        QVERIFY(!exists(src + "/big.bin"));
    }
};

QTEST_GUILESS_MAIN(TestEngineVerify)
#include "tst_engine_verify.moc"
