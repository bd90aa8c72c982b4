// The write-back window one operation's copies share: however many write at
// once, never more than its budget is out, a writer waiting for room never
// waits for good (it stores what others started, or flushes small files),
// every byte taken comes back, and a stop ends every wait.
#include "platform/engine/file_op_copier.h"
#include "platform/engine/file_op_write_back.h"
#include "platform/engine/file_system.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace EngineJob;

namespace {

// A file of size bytes written to fd in chunks, each after its room was
// taken. Returns false when a reservation was refused.
bool writeThrough(WriteBack &writeBack, WriteBackWindow &window, int fd, qint64 size, qint64 chunk,
                  std::atomic<qint64> &mostSeen)
{
    const QByteArray data(int(chunk), 'k');
    for (qint64 at = 0; at < size; at += chunk) {
        const qint64 n = std::min(chunk, size - at);
        if (!writeBack.reserve(fd, n))
            return false;
        // What is out right after room was taken: the most it can be.
        qint64 seen = window.used();
        for (qint64 was = mostSeen.load(); seen > was && !mostSeen.compare_exchange_weak(was, seen);) { }
        if (pwrite(fd, data.constData(), size_t(n), off_t(at)) != n)
            return false;
        writeBack.written(fd, at, n);
    }
    return true;
}

} // namespace

class TestEngineWriteBack : public QObject
{
    Q_OBJECT

private slots:
    void neverMoreThanItsBudgetAndEveryByteBack_data();
    void neverMoreThanItsBudgetAndEveryByteBack();
    void writersHoldingPartsBelowAPieceStillGetRoom();
    void aCopyThrownAwayGivesItsRoomBackAtOnce();
    void aStopEndsTheWaitForRoom();
    void aFileThatGrowsWhileCopiedStaysWithinTheWindow();
};

void TestEngineWriteBack::neverMoreThanItsBudgetAndEveryByteBack_data()
{
    QTest::addColumn<int>("writers");
    QTest::addColumn<qint64>("budget");
    QTest::addColumn<qint64>("chunk");
    // Per writer, in turn: file sizes (a multiple of 7 is thrown away).
    QTest::addColumn<QList<qint64>>("sizes");
    const QList<qint64> mixed {3000, 200 * 1024, 9000, 70 * 1024, 1, 130 * 1024, 4096, 300 * 1024};
    QTest::newRow("one writer, big and small files") << 1 << qint64(256 * 1024) << qint64(16 * 1024) << mixed;
    QTest::newRow("three writers") << 3 << qint64(256 * 1024) << qint64(16 * 1024) << mixed;
    // More writers than pieces fit in the window: each holds a part not yet
    // handed to write-back when it runs out of room.
    QTest::newRow("twelve writers, each part below a piece")
        << 12 << qint64(64 * 1024) << qint64(3 * 1024) << QList<qint64> {7 * 1024, 5 * 1024, 20 * 1024, 6 * 1024};
    QTest::newRow("small files only, flushed to make room")
        << 4 << qint64(64 * 1024) << qint64(4096) << QList<qint64> {4096, 2000, 4096, 100, 4096, 3000};
    QTest::newRow("chunks bigger than the window")
        << 2 << qint64(64 * 1024) << qint64(100 * 1024) << QList<qint64> {300 * 1024, 90 * 1024};
}

void TestEngineWriteBack::neverMoreThanItsBudgetAndEveryByteBack()
{
    QFETCH(int, writers);
    QFETCH(qint64, budget);
    QFETCH(qint64, chunk);
    QFETCH(QList<qint64>, sizes);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.path());

    // A wait that never ends would show as a stop after a while.
    QElapsedTimer clock;
    clock.start();
    std::atomic_bool timedOut {false};
    WriteBackWindow window(budget, [&] { return timedOut = timedOut || clock.elapsed() > 20'000; });
    std::atomic<qint64> mostSeen {0};
    std::atomic_int failures {0};
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            WriteBack writeBack(window);
            for (int i = 0; i < sizes.size(); ++i) {
                const int fd = open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
                const qint64 size = sizes[(i + w) % sizes.size()];
                if (fd < 0 || !writeThrough(writeBack, window, fd, size, std::min(chunk, budget), mostSeen))
                    ++failures;
                if ((w + i) % 7 == 6)
                    writeBack.forget(fd);
                else
                    writeBack.fileDone(fd);
                close(fd);
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(failures.load(), 0);
    QVERIFY(!timedOut);
    QVERIFY2(window.mostUsed() <= budget, QByteArray::number(window.mostUsed()).constData());
    QCOMPARE(mostSeen.load() <= budget, true);
    QVERIFY(window.mostUsed() > budget / 2); // the writers did run out of room

    // Every byte comes back: the whole window can be taken again, by
    // storing the pieces still under way and flushing the small files.
    const int fd = open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    QVERIFY(fd >= 0);
    QVERIFY(window.take(budget, fd));
    QCOMPARE(window.used(), budget);
    window.give(budget);
    QCOMPARE(window.used(), qint64(0));
    close(fd);
}

void TestEngineWriteBack::writersHoldingPartsBelowAPieceStillGetRoom()
{
    // Nine writers each write a part just below a piece (none of it handed
    // to write-back yet) and together fill the window; only then does each
    // ask for room for its next part.
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    constexpr qint64 budget = 64 * 1024;
    constexpr int writers = 9;
    QElapsedTimer clock;
    clock.start();
    WriteBackWindow window(budget, [&] { return clock.elapsed() > 20'000; });
    std::mutex mutex;
    std::condition_variable allWritten;
    int written = 0;
    std::atomic_int granted {0};
    std::atomic<qint64> mostSeen {0};
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&] {
            WriteBack writeBack(window);
            const int fd = open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
            writeThrough(writeBack, window, fd, 7 * 1024, 7 * 1024, mostSeen);
            {
                std::unique_lock<std::mutex> lock(mutex);
                ++written;
                allWritten.notify_all();
                allWritten.wait(lock, [&] { return written == writers; });
            }
            if (writeBack.reserve(fd, 7 * 1024))
                ++granted;
            writeBack.forget(fd);
            close(fd);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(granted.load(), writers);
    QVERIFY(window.mostUsed() <= budget);
    QCOMPARE(window.used(), qint64(0));
}

void TestEngineWriteBack::aCopyThrownAwayGivesItsRoomBackAtOnce()
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    constexpr qint64 budget = 64 * 1024;
    WriteBackWindow window(budget, [] { return false; });
    WriteBack writeBack(window);
    std::atomic<qint64> mostSeen {0};
    const int kept = open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    const int dropped = open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    QVERIFY(kept >= 0 && dropped >= 0);

    // A copy kept holds its room until what it wrote is stored.
    QVERIFY(writeThrough(writeBack, window, kept, 20 * 1024, 4096, mostSeen));
    writeBack.fileDone(kept);
    close(kept);
    QCOMPARE(window.used(), qint64(20 * 1024));

    // One thrown away (pieces under way, and a part not yet handed out) needs no room at all.
    QVERIFY(writeThrough(writeBack, window, dropped, 30 * 1024 + 100, 4096, mostSeen));
    writeBack.forget(dropped);
    close(dropped);
    QCOMPARE(window.used(), qint64(20 * 1024));
}

void TestEngineWriteBack::aStopEndsTheWaitForRoom()
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    constexpr qint64 budget = 64 * 1024;
    std::atomic_bool stopped {false};
    WriteBackWindow window(budget, [&] { return stopped.load(); });
    const int fd = open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    QVERIFY(fd >= 0);

    // One writer holds the whole window and writes nothing into it: the
    // other waits for room that only a stop ends.
    WriteBack holder(window);
    QVERIFY(holder.reserve(fd, budget));
    bool granted = true;
    std::thread waiter([&] {
        WriteBack writeBack(window);
        granted = writeBack.reserve(fd, 4096);
    });
    stopped = true;
    waiter.join();
    QVERIFY(!granted);
    QCOMPARE(window.used(), budget);
    holder.forget(fd);
    QCOMPARE(window.used(), qint64(0));
    close(fd);
}

void TestEngineWriteBack::aFileThatGrowsWhileCopiedStaysWithinTheWindow()
{
    // A log still being written: 32 KiB when its copy starts, 1 MiB by the
    // time the copy reaches its end (a copy goes on to the end).
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray source = folder + "/growing.log";
    QFile log(QFile::decodeName(source));
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write(QByteArray(32 * 1024, 'l'));
    log.flush();
    constexpr qint64 budget = 64 * 1024;
    EngineTestSettings settings;
    settings.writeBackBytes = budget;
    settings.chunkBytes = 16 * 1024;
    settings.hook = [&](const char *point, const QByteArray &) {
        if (strcmp(point, "chunk-copied") == 0 && log.size() < 1024 * 1024) {
            log.write(QByteArray(16 * 1024, 'g'));
            log.flush();
        }
    };
    const std::atomic_bool never {false};
    CopyShared shared(settings, never);
    Copier copier(shared);
    const TargetRef ref {AT_FDCWD, folder + "/copy.log"};
    Staged staged;
    SourceState state;
    QCOMPARE(copier.stageFile(source, {AT_FDCWD, source}, ref.name, ref, &staged, &state), 0);
    QCOMPARE(state.size, qint64(1024 * 1024));
    QVERIFY2(shared.window.mostUsed() <= budget, QByteArray::number(shared.window.mostUsed()).constData());
    copier.discardStaged(ref, &staged);
    QCOMPARE(shared.window.used(), qint64(0));
}

QTEST_GUILESS_MAIN(TestEngineWriteBack)
#include "tst_engine_write_back.moc"
