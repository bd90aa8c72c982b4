// How the copy workers share out what the walk hands them: two workers
// never fill one folder side by side while files of another folder wait
// (the kernel names one file at a time in a folder, so they would only
// wait for each other), and every file still comes back in walk order.
#include "platform/engine/file_op_workers.h"

#include <QTest>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

using namespace EngineJob;

namespace {

// Tasks of one target folder (told apart by its descriptor number, which
// no worker here opens).
void submitFolder(CopyWorkers &workers, int folder, int files)
{
    for (int i = 0; i < files; ++i) {
        auto task = std::make_unique<FileTask>();
        task->src = "/f" + QByteArray::number(folder) + '/' + QByteArray::number(i);
        task->ref.dirFd = folder;
        task->srcSt = {};
        task->srcSt.st_size = 100;
        workers.submit(std::move(task));
    }
}

struct Batches
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<int>> folders; // per batch taken, the folder of each file
    int working = 0;
};

} // namespace

class TestEngineWorkerHandout : public QObject
{
    Q_OBJECT

private slots:
    void workersFillDifferentFolders();
    void oneFolderIsSharedWhenNothingElseWaits();
};

void TestEngineWorkerHandout::workersFillDifferentFolders()
{
    // 40 files of folder 10, then 40 of folder 11, all waiting before a
    // worker looks: the two workers take one folder each, and each keeps
    // to its folder while the other is busy in its own.
    EngineTestSettings settings;
    const std::atomic_bool never {false};
    CopyShared shared(settings, never);
    Batches batches;
    bool bothStarted = true;
    {
        CopyWorkers workers(2, shared,
                            [&](const std::vector<FileTask *> &batch, Copier &, const std::function<void(FileTask &)> &) {
                                std::unique_lock<std::mutex> lock(batches.mutex);
                                std::vector<int> folders;
                                for (const FileTask *task : batch)
                                    folders.push_back(task->ref.dirFd);
                                batches.folders.push_back(folders);
                                ++batches.working;
                                batches.changed.notify_all();
                                // Each batch waits until the other worker holds one too.
                                if (!batches.changed.wait_for(lock, std::chrono::seconds(5),
                                                              [&] { return batches.working >= 2; }))
                                    bothStarted = false;
                            },
                            /*batchFiles=*/64, /*batchBytes=*/1024 * 1024);
        // A batch is ready only once folder 11 is waiting too (64 files),
        // so the first worker to look finds both folders however late the
        // other is woken: a batch keeps to one folder, and the rest of the
        // 80 waits for release().
        submitFolder(workers, 10, 40);
        submitFolder(workers, 11, 40);
        workers.release();
        for (int taken = 0; taken < 80;) {
            std::unique_ptr<FileTask> task = workers.takeOldest([] { }, 50);
            QVERIFY(task);
            QCOMPARE(task->src, "/f" + QByteArray::number(taken < 40 ? 10 : 11) + '/' + QByteArray::number(taken % 40));
            ++taken;
        }
    }
    QVERIFY2(bothStarted, "a worker found nothing of its own to take");
    // The first batch of each worker: one folder each, not the same one.
    QVERIFY(batches.folders.size() >= 2);
    const std::vector<int> &first = batches.folders.at(0);
    const std::vector<int> &second = batches.folders.at(1);
    QVERIFY(std::all_of(first.begin(), first.end(), [&](int f) { return f == first.front(); }));
    QVERIFY(std::all_of(second.begin(), second.end(), [&](int f) { return f == second.front(); }));
    QVERIFY2(first.front() != second.front(), "both workers started in the same folder");
}

void TestEngineWorkerHandout::oneFolderIsSharedWhenNothingElseWaits()
{
    // A single folder of many files: both workers still work in it.
    EngineTestSettings settings;
    const std::atomic_bool never {false};
    CopyShared shared(settings, never);
    std::mutex mutex;
    std::condition_variable changed;
    std::set<std::thread::id> threads;
    {
        CopyWorkers workers(2, shared,
                            [&](const std::vector<FileTask *> &, Copier &, const std::function<void(FileTask &)> &) {
                                // Each batch waits (a while at most) until the other
                                // worker has taken one too, however late it is woken.
                                std::unique_lock<std::mutex> lock(mutex);
                                threads.insert(std::this_thread::get_id());
                                changed.notify_all();
                                changed.wait_for(lock, std::chrono::seconds(5), [&] { return threads.size() >= 2; });
                            },
                            16, 1024 * 1024);
        submitFolder(workers, 10, 64);
        workers.release();
        for (int taken = 0; taken < 64; ++taken)
            QVERIFY(workers.takeOldest([] { }, 50));
    }
    QCOMPARE(threads.size(), size_t(2));
}

QTEST_GUILESS_MAIN(TestEngineWorkerHandout)
#include "tst_engine_worker_handout.moc"
