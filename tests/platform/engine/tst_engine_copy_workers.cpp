// The small files of a tree are copied by several workers, yet the copy
// behaves as one done file by file: the same questions in the same order,
// one at a time, the same result, and Cancel stops every worker.
#include "fault_file_system.h"
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace EngineTestFiles;

namespace {

// Three folders of small files and a few links (copied by the job's own
// thread, between the workers' files); the target already holds every
// seventh file and every link of the first two folders, and every
// thirteenth source turns into a FIFO once it was looked at. The second
// folder also holds big files: one the target holds already, one that
// cannot be read past its first MiBs (setBadSector) and one that copies.
void makeClashingTrees(const QByteArray &root)
{
    for (int d = 0; d < 3; ++d) {
        const QByteArray folder = root + "/tree/d" + QByteArray::number(d);
        makeDirs(folder);
        if (d < 2)
            makeDirs(root + "/dest/tree/d" + QByteArray::number(d));
        if (d == 1) {
            for (const char *big : {"big0", "big1", "big2"})
                writeFile(folder + '/' + big, QByteArray(5 * 1024 * 1024, big[3]));
            writeFile(root + "/dest/tree/d1/big0", "older");
        }
        for (int f = 0; f < 60; ++f) {
            const QByteArray name = "/f" + QByteArray::number(f);
            writeFile(folder + name, "source " + QByteArray::number(d * 100 + f));
            if (f % 7 == 3 && d < 2)
                writeFile(root + "/dest/tree/d" + QByteArray::number(d) + name, "older");
            if (f % 10 == 0) {
                const QByteArray link = "/l" + QByteArray::number(f);
                symlink("f1", QByteArray(folder + link).constData());
                if (d < 2)
                    writeFile(root + "/dest/tree/d" + QByteArray::number(d) + link, "older");
            }
        }
        const struct timespec old[2] = {{1000000000, 0}, {1200000000 + d, 0}};
        utimensat(AT_FDCWD, folder.constData(), old, 0);
    }
}

bool turnsIntoFifo(const QByteArray &path)
{
    const qsizetype at = path.lastIndexOf("/f");
    return !path.contains("/dest/") && at >= 0 && path.mid(at + 2).toInt() % 13 == 5;
}

struct Asked
{
    QStringList questions; // in the order asked: "overwrite <target>" or "error <path>: <reason>"
    FileOpResult result;
    QStringList tree;
    qint64 newFolderTime = 0;
    bool overlapped = false; // a question was asked while another was open, or off the job's thread
};

Asked copyClashingTrees(int workers)
{
    QTemporaryDir dir;
    const QByteArray root = bytes(dir.path());
    makeClashingTrees(root);

    ScriptedEngineQuestions questions;
    questions.overwriteAnswers = {OverwriteAnswer::Overwrite, OverwriteAnswer::Skip, OverwriteAnswer::Overwrite,
                                  OverwriteAnswer::Skip, OverwriteAnswer::Overwrite};
    questions.defaultOverwrite = OverwriteAnswer::Skip;
    questions.defaultError = ErrorAnswer::Skip;
    Asked asked;
    std::atomic_int asking {0};
    qsizetype overwritesSeen = 0;
    questions.onQuestion = [&] {
        // Another question while this one is open would show here.
        asked.overlapped = asked.overlapped || asking.fetch_add(1) != 0
            || QThread::currentThread() != QCoreApplication::instance()->thread();
        if (questions.overwriteQuestions.size() > overwritesSeen) {
            overwritesSeen = questions.overwriteQuestions.size();
            asked.questions.append(QStringLiteral("overwrite ") + questions.overwriteQuestions.last().target.path);
        } else {
            const ErrorQuestion &question = questions.errorQuestions.last();
            asked.questions.append(
                QStringLiteral("error %1: %2 %3").arg(question.path, question.action, question.reason));
        }
        QThread::msleep(2);
        asking.fetch_sub(1);
    };
    FaultFileSystem fileSystem;
    fileSystem.setBadSector("/tree/d1/big1", 2 * 1024 * 1024);
    EngineTestSettings settings;
    settings.workers = workers;
    settings.fileSystem = &fileSystem;
    settings.chunkBytes = 1024 * 1024; // the bad sector lies past what was copied first
    settings.hook = [&](const char *point, const QByteArray &path) {
        if (strcmp(point, "source-checked") == 0 && turnsIntoFifo(path) && !S_ISFIFO(statOf(path).st_mode)) {
            unlink(path.constData());
            mkfifo(path.constData(), 0644);
        }
    };

    asked.result = runSync(copyRecord(text(root + "/tree"), text(root + "/dest")), questions, nullptr, settings);
    asked.questions.replaceInStrings(dir.path(), QStringLiteral("ROOT"));
    for (const QString &entry : listTree(root + "/dest"))
        asked.tree.append(entry + QLatin1Char(' ') + QString::fromUtf8(readFile(root + "/dest/" + bytes(entry))));
    asked.newFolderTime = statOf(root + "/dest/tree/d2").st_mtim.tv_sec;
    asked.result.message.replace(dir.path(), QStringLiteral("ROOT"));
    return asked;
}

} // namespace

class TestEngineCopyWorkers : public QObject
{
    Q_OBJECT

private slots:
    void sameQuestionsInWalkOrderAsOneByOne();
    void cancelStopsEveryWorkerAndLeavesNoTemporary();
    void failureInTheMiddleOfABatch_data();
    void failureInTheMiddleOfABatch();
    void smallFilesAreNotHeldUpByABigOne();
    void manyFoldersWaitingForTheirFilesAreFinished();
    void aFailureIsAskedAboutSoonAfterItHappened();
};

void TestEngineCopyWorkers::sameQuestionsInWalkOrderAsOneByOne()
{
    const Asked alone = copyClashingTrees(0);
    const Asked pooled = copyClashingTrees(3);
    QVERIFY(!alone.questions.isEmpty());
    // The big files were asked about too: the one the target holds, the unreadable one.
    QVERIFY(alone.questions.contains(QStringLiteral("overwrite ROOT/dest/tree/d1/big0")));
    QCOMPARE(alone.questions.filter(QRegularExpression(QStringLiteral("^error ROOT/tree/d1/big1: "))).size(), 1);
    QVERIFY(!pooled.overlapped);
    QCOMPARE(pooled.questions, alone.questions);
    QCOMPARE(pooled.result.status, FileOpResult::Status::Skipped);
    QCOMPARE(pooled.result.status, alone.result.status);
    QCOMPARE(pooled.result.message, alone.result.message);
    QCOMPARE(pooled.tree, alone.tree);
    // The folder the copy made got its time after the last file went in.
    QCOMPARE(pooled.newFolderTime, qint64(1200000002));
}

void TestEngineCopyWorkers::cancelStopsEveryWorkerAndLeavesNoTemporary()
{
    QTemporaryDir dir;
    const QByteArray root = bytes(dir.path());
    QVERIFY(makeDirs(root + "/tree"));
    for (int f = 0; f < 400; ++f)
        writeFile(root + "/tree/f" + QByteArray::number(f), QByteArray(8 * 1024, 'x'));

    std::atomic_bool cancel {false};
    int publishedAtCancel = -1;
    int written = 0;
    EngineTestSettings settings;
    settings.workers = 3;
    settings.chunkBytes = 1024; // slow: 8 chunks a file, 1 ms each
    settings.chunkDelayUs = 1000;
    settings.hook = [&](const char *point, const QByteArray &) {
        if (strcmp(point, "file-written") == 0 && ++written == 20) {
            cancel = true;
            publishedAtCancel = listTree(root + "/dest/tree").size();
        }
    };
    ScriptedEngineQuestions questions;
    const FileOpResult result = runSync(copyRecord(text(root + "/tree"), text(root + "/dest")), questions, &cancel,
                                        settings);
    QCOMPARE(result.status, FileOpResult::Status::Cancelled);

    // At most the files already complete when Cancel came got their names,
    // and no worker goes on after the operation returned.
    const int published = listTree(root + "/dest/tree").size();
    QVERIFY2(published <= publishedAtCancel + 3, QByteArray::number(published));
    QThread::msleep(100);
    QCOMPARE(listTree(root + "/dest/tree").size(), published);
    QVERIFY(!hasTemporaries(root + "/dest"));
    QVERIFY(questions.errorQuestions.isEmpty());
}

void TestEngineCopyWorkers::failureInTheMiddleOfABatch_data()
{
    QTest::addColumn<ErrorAnswer>("answer");
    QTest::addColumn<FileOpResult::Status>("status");
    QTest::newRow("skip") << ErrorAnswer::Skip << FileOpResult::Status::Skipped;
    QTest::newRow("retry") << ErrorAnswer::Retry << FileOpResult::Status::Done;
    QTest::newRow("cancel") << ErrorAnswer::Cancel << FileOpResult::Status::Failed;
}

void TestEngineCopyWorkers::failureInTheMiddleOfABatch()
{
    // Workers take the small files in batches: one of a batch fails on its
    // worker (its source turns into a FIFO there), the files after it in
    // the batch are copied on, and the failed one is asked about at its
    // turn in the walk, on the job's thread, once.
    QFETCH(ErrorAnswer, answer);
    QFETCH(FileOpResult::Status, status);
    QTemporaryDir dir;
    const QByteArray root = bytes(dir.path());
    QVERIFY(makeDirs(root + "/tree"));
    for (int f = 0; f < 48; ++f)
        QVERIFY(writeFile(root + "/tree/f" + QByteArray::number(f), "small file " + QByteArray::number(f)));
    const QList<QByteArray> walkOrder = listedNames(root + "/tree"); // as the copy lists the folder
    const QByteArray failing = walkOrder.at(20);

    std::atomic_bool swapped {false};
    EngineTestSettings settings;
    settings.workers = 2;
    settings.hook = [&](const char *point, const QByteArray &path) {
        const bool onWorker = QThread::currentThread() != QCoreApplication::instance()->thread();
        if (strcmp(point, "source-checked") == 0 && onWorker && path.endsWith(QByteArray("/" + failing)) && !swapped) {
            swapped = true;
            unlink(path.constData());
            mkfifo(path.constData(), 0644);
        }
    };
    ScriptedEngineQuestions questions;
    questions.defaultError = answer;
    QList<QByteArray> missingAtQuestion;
    questions.onQuestion = [&] {
        // Every file before it in the walk is back and named by now.
        for (const QByteArray &name : walkOrder.mid(0, 20)) {
            if (!exists(root + "/dest/tree/" + name))
                missingAtQuestion.append(name);
        }
        if (answer == ErrorAnswer::Retry) {
            unlink(QByteArray(root + "/tree/" + failing).constData());
            writeFile(root + "/tree/" + failing, "written again");
        }
    };
    const FileOpResult result = runSync(copyRecord(text(root + "/tree"), text(root + "/dest")), questions, nullptr,
                                        settings);
    QVERIFY(swapped);
    QCOMPARE(result.status, status);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QVERIFY2(questions.errorQuestions.first().path.endsWith(QLatin1Char('/') + QString::fromUtf8(failing)),
             qPrintable(questions.errorQuestions.first().path));
    QCOMPARE(missingAtQuestion, QList<QByteArray>());
    QVERIFY(!hasTemporaries(root + "/dest"));
    // What is there is complete; nothing but the failed file is missing
    // unless the copy was stopped at it.
    const QStringList copied = listTree(root + "/dest/tree");
    for (const QString &name : copied)
        QCOMPARE(readFile(root + "/dest/tree/" + bytes(name)), readFile(root + "/tree/" + bytes(name)));
    QCOMPARE(copied.contains(QString::fromUtf8(failing)), answer == ErrorAnswer::Retry);
    if (answer != ErrorAnswer::Cancel)
        QCOMPARE(copied.size(), answer == ErrorAnswer::Retry ? 48 : 47);
}

void TestEngineCopyWorkers::smallFilesAreNotHeldUpByABigOne()
{
    // A few small files (less than a batch) are handed out, then the job's
    // own thread copies a big file: the workers take the small ones at
    // once instead of waiting for more to make up a batch.
    QTemporaryDir dir;
    const QByteArray root = bytes(dir.path());
    QVERIFY(makeDirs(root + "/tree"));
    makeBigFile(root + "/tree/big", 5 * 1024 * 1024);
    for (int f = 0; f < 5; ++f)
        QVERIFY(writeFile(root + "/tree/s" + QByteArray::number(f), "small"));
    const QList<QByteArray> walkOrder = listedNames(root + "/tree");
    if (walkOrder.indexOf("big") < 3)
        QSKIP("this file system lists the big file before the small ones");

    int smallBeforeBigDone = 0;
    bool bigDone = false;
    EngineTestSettings settings;
    settings.workers = 2;
    settings.chunkBytes = 64 * 1024; // 80 chunks, 5 ms each
    settings.chunkDelayUs = 5000;
    settings.hook = [&](const char *point, const QByteArray &path) {
        if (strcmp(point, "file-written") != 0)
            return;
        if (path.endsWith("/big"))
            bigDone = true;
        else if (!bigDone)
            ++smallBeforeBigDone;
    };
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(copyRecord(text(root + "/tree"), text(root + "/dest")), questions, nullptr, settings).status,
             FileOpResult::Status::Done);
    QVERIFY(bigDone);
    QVERIFY2(smallBeforeBigDone > 0, "the small files waited for the big one");
    QCOMPARE(listTree(root + "/dest/tree").size(), 6);
}

void TestEngineCopyWorkers::manyFoldersWaitingForTheirFilesAreFinished()
{
    // Far more small folders than may wait for their files at once: the
    // oldest are finished as the walk goes on, each with its own mode and
    // time and without its mark, whichever way it was finished.
    QTemporaryDir dir;
    const QByteArray root = bytes(dir.path());
    constexpr int folders = 300;
    for (int d = 0; d < folders; ++d) {
        const QByteArray folder = root + "/tree/d" + QByteArray::number(d);
        QVERIFY(makeDirs(folder));
        for (int f = 0; f < 3; ++f)
            QVERIFY(writeFile(folder + "/f" + QByteArray::number(f), QByteArray::number(d * 10 + f)));
        chmod(folder.constData(), d % 2 ? 0750 : 0705);
        const struct timespec times[2] = {{1000000000, 0}, {1100000000 + d, 0}};
        utimensat(AT_FDCWD, folder.constData(), times, 0);
    }
    EngineTestSettings settings;
    settings.workers = 2;
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(copyRecord(text(root + "/tree"), text(root + "/dest")), questions, nullptr, settings).status,
             FileOpResult::Status::Done);
    for (int d = 0; d < folders; ++d) {
        const QByteArray folder = root + "/dest/tree/d" + QByteArray::number(d);
        const struct stat st = statOf(folder);
        QCOMPARE(st.st_mode & 07777, mode_t(d % 2 ? 0750 : 0705));
        QCOMPARE(qint64(st.st_mtim.tv_sec), qint64(1100000000 + d));
        QCOMPARE(listedNames(folder).size(), 3); // no mark left
        QCOMPARE(readFile(folder + "/f2"), QByteArray::number(d * 10 + 2));
    }
}

void TestEngineCopyWorkers::aFailureIsAskedAboutSoonAfterItHappened()
{
    // A file of the first folder fails in a worker (it turns into a FIFO
    // when it is opened). The walk enters the next folder only once the
    // workers are done with the first batch: the question comes then, not
    // when the walk has handed out the whole tree.
    QTemporaryDir dir;
    const QByteArray root = bytes(dir.path());
    for (int d = 0; d < 20; ++d) {
        const QByteArray folder = root + "/tree/d" + QByteArray::number(d);
        QVERIFY(makeDirs(folder));
        for (int f = 0; f < 20; ++f)
            QVERIFY(writeFile(folder + "/f" + QByteArray::number(f), "content"));
    }
    // The first file the walk meets fails; the rest of the workers' first batch copies.
    const QByteArray first = listedNames(root + "/tree").first();
    const QByteArray failing = root + "/tree/" + first + '/' + listedNames(root + "/tree/" + first).first();
    const QByteArray firstCopy = root + "/dest/tree/" + first;

    FaultFileSystem fileSystem;
    std::atomic_int folders {0};
    fileSystem.setOnCall([&](const char *call) {
        // The top folder, the first one, then the second: wait there until
        // the rest of the first batch (15 files) is in place, beside the
        // folder's mark; the batch's last 4 files wait for the walk.
        if (strcmp(call, "mkdirat") != 0 || ++folders != 3)
            return;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 5000 && listedNames(firstCopy).size() < 16)
            QThread::msleep(1);
    });
    std::atomic_int written {0};
    EngineTestSettings settings;
    settings.workers = 2;
    settings.fileSystem = &fileSystem;
    settings.hook = [&](const char *point, const QByteArray &path) {
        if (strcmp(point, "file-written") == 0)
            ++written;
        else if (strcmp(point, "source-checked") == 0 && path == failing && !S_ISFIFO(statOf(path).st_mode)) {
            unlink(path.constData());
            mkfifo(path.constData(), 0644);
        }
    };
    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    int foldersWhenAsked = -1; // how far the walk was
    questions.onQuestion = [&] { foldersWhenAsked = folders; };
    QCOMPARE(runSync(copyRecord(text(root + "/tree"), text(root + "/dest")), questions, nullptr, settings).status,
             FileOpResult::Status::Skipped);
    QCOMPARE(questions.errorQuestions.size(), 1);
    // While the walk is still in the first folder (a worker may finish the
    // failing file before the walk has handed out the folder's rest), in
    // the second one, or just after: not at the end, with all 21 made.
    QVERIFY2(foldersWhenAsked >= 2 && foldersWhenAsked <= 5, QByteArray::number(foldersWhenAsked).constData());
    QCOMPARE(written.load(), 20 * 20 - 1);
}

QTEST_GUILESS_MAIN(TestEngineCopyWorkers)
#include "tst_engine_copy_workers.moc"
