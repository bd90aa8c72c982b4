// The count that sizes the progress runs beside the copy: the first file is
// written while it still counts, the totals end as a full count, a cancel
// stops it, and a target that needs the walk first still gets it before
// anything is written. The count is held or released through the hook
// points, never by timing.
#include "fault_file_system.h"
#include "platform/engine/file_op_engine.h"
#include "platform/engine/file_op_preflight.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QFileInfo>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

using namespace EngineTestFiles;
using EngineJob::SourceVolume;
using EngineJob::VolumeLimits;

namespace {

// Long enough never to be reached unless the engine waits for the count.
constexpr int GuardMs = 20000;

struct Run
{
    FileOpResult result;
    QList<FileOpProgress> reports;
};

Run run(const FileOpRecord &record, EngineQuestions &questions, EngineTestSettings settings,
        const std::atomic_bool &cancel)
{
    Run done;
    FileOpParams params;
    QString error;
    if (!FileOpParams::fromRecord(record, &params, &error))
        return {FileOpResult {FileOpResult::Status::Failed, error, {}}, {}};
    FileOpEngine engine(questions, cancel);
    engine.setTestSettings(std::move(settings));
    engine.setProgressHandler([&done](const FileOpProgress &progress) { done.reports.append(progress); });
    done.result = engine.run(params);
    return done;
}

// Files in folders depth levels deep (each level holds perLevel files and
// the next level), plus a link and an empty folder at the top.
void makeTree(const QByteArray &root, int depth, int perLevel)
{
    QByteArray folder = root;
    for (int level = 0; level < depth; ++level) {
        makeDirs(folder);
        for (int f = 0; f < perLevel; ++f)
            writeFile(folder + "/f" + QByteArray::number(f), QByteArray(level * 7 + f + 1, 'x'));
        folder += "/d" + QByteArray::number(level);
    }
    makeDirs(root + "/empty");
    symlink("f0", QByteArray(root + "/link").constData());
}

// What a full count finds: every entry but folders, and the bytes of the files.
QPair<qint64, qint64> fullCount(const QByteArray &root)
{
    qint64 files = 0, bytes = 0;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root.constData())) {
        if (entry.symlink_status().type() == std::filesystem::file_type::directory)
            continue;
        ++files;
        if (entry.symlink_status().type() == std::filesystem::file_type::regular)
            bytes += qint64(entry.file_size());
    }
    return {files, bytes};
}

} // namespace

class TestEngineCountBeside : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_root = bytes(m_dir->path());
    }

    void theFirstFileIsWrittenWhileTheCountGoesOn_data()
    {
        QTest::addColumn<int>("workers");
        QTest::newRow("copy workers") << -1;
        QTest::newRow("the job's thread alone") << 0;
    }
    void theFirstFileIsWrittenWhileTheCountGoesOn()
    {
        QFETCH(int, workers);
        makeTree(m_root + "/src", 3, 5);
        // The count is held at its first folder until a file is written:
        // a copy that waited for the count would wait for the guard instead.
        QSemaphore written;
        std::atomic_bool countDone {false};
        std::atomic_bool countDoneAtFirstWrite {true};
        std::atomic_int writes {0};
        EngineTestSettings settings;
        settings.workers = workers;
        settings.hook = [&](const char *point, const QByteArray &) {
            const QByteArray name(point);
            if (name == "counting" && !countDone)
                written.tryAcquire(1, GuardMs);
            else if (name == "count-done")
                countDone = true;
            else if (name == "file-written" && writes++ == 0) {
                countDoneAtFirstWrite = countDone.load();
                written.release(1000);
            }
        };
        ScriptedEngineQuestions questions;
        const std::atomic_bool never {false};
        const Run done = run(copyRecord(text(m_root + "/src"), text(m_root + "/dst")), questions, settings, never);
        QCOMPARE(done.result.status, FileOpResult::Status::Done);
        QVERIFY(writes > 0);
        QVERIFY(!countDoneAtFirstWrite);
        // The first report already came while counting; the last one has the totals.
        QVERIFY(!done.reports.isEmpty());
        QVERIFY(done.reports.first().counting);
        QVERIFY(!done.reports.last().counting);
        QCOMPARE(listTree(m_root + "/dst/src"), listTree(m_root + "/src"));
    }

    void theTotalsEndAsAFullCount_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("perLevel");
        QTest::newRow("one wide folder") << 1 << 300;
        QTest::newRow("deeper than the folders the count holds open") << 40 << 3;
    }
    void theTotalsEndAsAFullCount()
    {
        QFETCH(int, depth);
        QFETCH(int, perLevel);
        makeTree(m_root + "/src", depth, perLevel);
        // The copy waits at its first file until everything is counted, so
        // that its end cannot come first.
        QSemaphore counted;
        std::atomic_int writes {0};
        EngineTestSettings settings;
        settings.hook = [&](const char *point, const QByteArray &) {
            if (QByteArray(point) == "count-done")
                counted.release();
            else if (QByteArray(point) == "file-written" && writes++ == 0)
                counted.tryAcquire(1, GuardMs);
        };
        ScriptedEngineQuestions questions;
        const std::atomic_bool never {false};
        const Run done = run(copyRecord(text(m_root + "/src"), text(m_root + "/dst")), questions, settings, never);
        QCOMPARE(done.result.status, FileOpResult::Status::Done);
        const QPair<qint64, qint64> expected = fullCount(m_root + "/src");
        const FileOpProgress &last = done.reports.last();
        QVERIFY(!last.counting);
        QCOMPARE(last.filesTotal, expected.first);
        QCOMPARE(last.bytesTotal, expected.second);
        QCOMPARE(last.filesDone, expected.first);
        QCOMPARE(last.bytesDone, expected.second);
    }

    void eachFileIsLookedAtOnce()
    {
        // The walk takes what the count saw of each regular file instead of
        // looking at it again: one fstatat a file, not two.
        for (int d = 0; d < 3; ++d) {
            const QByteArray folder = m_root + "/src/d" + QByteArray::number(d);
            QVERIFY(makeDirs(folder));
            for (int f = 0; f < 50; ++f)
                QVERIFY(writeFile(folder + "/f" + QByteArray::number(f), QByteArray::number(d * 100 + f)));
        }
        FaultFileSystem fileSystem;
        fileSystem.arm(FaultFileSystem::Mode::Count, 0);
        EngineTestSettings settings;
        settings.workers = 2;
        settings.countFirst = true; // so the count has seen every file before the walk
        settings.fileSystem = &fileSystem;
        ScriptedEngineQuestions questions;
        const std::atomic_bool never {false};
        const Run done = run(copyRecord(text(m_root + "/src"), text(m_root + "/dst")), questions, settings, never);
        QCOMPARE(done.result.status, FileOpResult::Status::Done);
        QCOMPARE(listTree(m_root + "/dst/src"), listTree(m_root + "/src"));
        QCOMPARE(readFile(m_root + "/dst/src/d2/f49"), QByteArray("249"));
        const qsizetype looks = fileSystem.names().count(QByteArrayLiteral("fstatat"));
        QVERIFY2(looks < 150 + 20, QByteArray::number(looks).constData());
    }

    void whatChangedAfterTheCountIsCopiedAsItIsNow()
    {
        // Once the count has seen them: a file grows, one is removed, one
        // becomes a link and one a folder. The walk hands them out as the
        // count saw them; the grown file is copied whole and the removed
        // one is not missed, without a question; the two that are no longer
        // files are asked about, as when that happens under a worker. The
        // target holds the grown one already: the question about it tells
        // the size it has now, not the one the count saw.
        QVERIFY(makeDirs(m_root + "/src"));
        for (int f = 0; f < 20; ++f)
            QVERIFY(writeFile(m_root + "/src/f" + QByteArray::number(f), "before"));
        QVERIFY(makeDirs(m_root + "/dst/src"));
        QVERIFY(writeFile(m_root + "/dst/src/f3", "older"));
        const QByteArray grown(300 * 1024, 'g');
        EngineTestSettings settings;
        settings.workers = 2;
        settings.countFirst = true;
        settings.hook = [&](const char *point, const QByteArray &) {
            if (QByteArray(point) != "count-done")
                return;
            writeFile(m_root + "/src/f3", grown);
            unlink(QByteArray(m_root + "/src/f7").constData());
            symlink("f3", QByteArray(m_root + "/src/f7").constData());
            unlink(QByteArray(m_root + "/src/f11").constData());
            unlink(QByteArray(m_root + "/src/f15").constData());
            makeDirs(m_root + "/src/f15");
        };
        ScriptedEngineQuestions questions;
        questions.defaultError = ErrorAnswer::Skip;
        questions.defaultOverwrite = OverwriteAnswer::Overwrite;
        const std::atomic_bool never {false};
        const Run done = run(copyRecord(text(m_root + "/src"), text(m_root + "/dst")), questions, settings, never);
        QCOMPARE(done.result.status, FileOpResult::Status::Skipped);
        QCOMPARE(readFile(m_root + "/dst/src/f3"), grown);
        QCOMPARE(questions.overwriteQuestions.size(), 1);
        QCOMPARE(questions.overwriteQuestions.first().source.size, qint64(grown.size()));
        QCOMPARE(readFile(m_root + "/dst/src/f19"), QByteArray("before"));
        QStringList asked;
        for (const ErrorQuestion &question : questions.errorQuestions)
            asked.append(question.path.mid(question.path.lastIndexOf(QLatin1Char('/')) + 1));
        asked.sort();
        QCOMPARE(asked, QStringList({QStringLiteral("f15"), QStringLiteral("f7")}));
        QStringList expected = listTree(m_root + "/src");
        expected.removeAll(QStringLiteral("f7"));
        expected.removeAll(QStringLiteral("f15"));
        QCOMPARE(listTree(m_root + "/dst/src"), expected);
    }

    void aCancelWhileCountingStopsTheCount()
    {
        makeTree(m_root + "/src", 20, 2);
        QSemaphore cancelled;
        std::atomic_bool cancel {false};
        std::atomic_int foldersCounted {0};
        std::atomic_bool countDone {false};
        EngineTestSettings settings;
        settings.workers = 0;
        settings.hook = [&](const char *point, const QByteArray &) {
            const QByteArray name(point);
            if (name == "counting" && foldersCounted++ == 0)
                cancelled.tryAcquire(1, GuardMs);
            else if (name == "count-done")
                countDone = true;
            else if (name == "file-written" && !cancel) {
                cancel = true;
                cancelled.release();
            }
        };
        ScriptedEngineQuestions questions;
        const Run done = run(copyRecord(text(m_root + "/src"), text(m_root + "/dst")), questions, settings, cancel);
        QCOMPARE(done.result.status, FileOpResult::Status::Cancelled);
        // It left off where it was told to, not at the end of the tree.
        QVERIFY(!countDone);
        QCOMPARE(foldersCounted.load(), 1);
        QVERIFY(!done.reports.last().counting);
        QVERIFY(!hasTemporaries(m_root + "/dst"));
    }

    // Where the target may refuse a name, the whole tree is looked at and
    // asked about before the first write, and nothing is counted beside.
    void aTargetThatNeedsTheWalkIsAskedBeforeAnyWrite_data()
    {
        QTest::addColumn<QByteArray>("volumeType");
        QTest::addColumn<QByteArray>("awkward");
        QTest::newRow("FAT") << QByteArray("vfat") << QByteArray("a:b");
        QTest::newRow("exFAT") << QByteArray("exfat") << QByteArray("what?");
        QTest::newRow("NTFS") << QByteArray("ntfs") << QByteArray("CON");
        QTest::newRow("SMB") << QByteArray("smb") << QByteArray("dot.");
        QTest::newRow("case folding") << QByteArray("casefold") << QByteArray("F0");
    }
    void aTargetThatNeedsTheWalkIsAskedBeforeAnyWrite()
    {
        QFETCH(QByteArray, volumeType);
        QFETCH(QByteArray, awkward);
        makeTree(m_root + "/src", 3, 2);
        unlink(QByteArray(m_root + "/src/link").constData()); // FAT keeps no links
        writeFile(m_root + "/src/d0/" + awkward, "awkward");
        std::mutex lock;
        QList<QByteArray> points;
        EngineTestSettings settings;
        settings.volumeType = volumeType;
        settings.hook = [&](const char *point, const QByteArray &) {
            const std::lock_guard<std::mutex> guard(lock);
            points.append(point);
        };
        ScriptedEngineQuestions questions;
        questions.preflightAnswer = PreflightAnswer::Cancel;
        const std::atomic_bool never {false};
        const Run done = run(copyRecord(text(m_root + "/src"), text(m_root + "/dst")), questions, settings, never);
        QCOMPARE(done.result.status, FileOpResult::Status::Cancelled);
        QCOMPARE(questions.preflightQuestions.size(), 1);
        QCOMPARE(questions.preflightQuestions.first().itemCount, 1);
        QVERIFY(points.isEmpty()); // nothing written, nothing counted beside
        QVERIFY(!exists(m_root + "/dst"));
    }

    // Whether the walk must come before the first write, by what the target
    // may refuse and by the room it has against all the source volume holds.
    void theWalkComesFirstOnlyWhereTheTargetMayRefuse_data()
    {
        QTest::addColumn<QByteArray>("targetType");
        QTest::addColumn<int>("targetNameMax");
        QTest::addColumn<qint64>("targetFree"); // -1: unknown or the same volume
        QTest::addColumn<int>("sourceNameMax");
        QTest::addColumn<qint64>("sourceUsed"); // -1: no bound
        QTest::addColumn<bool>("walkFirst");
        const qint64 gib = 1LL << 30;
        QTest::newRow("same volume") << QByteArray("") << 255 << qint64(-1) << 255 << qint64(-1) << false;
        QTest::newRow("more room than the source holds")
            << QByteArray("") << 255 << 10 * gib << 255 << 9 * gib << false;
        QTest::newRow("less room than the source holds") << QByteArray("") << 255 << 9 * gib << 255 << 10 * gib << true;
        QTest::newRow("source holds no bound") << QByteArray("") << 255 << 10 * gib << 255 << qint64(-1) << true;
        QTest::newRow("longer names at the source")
            << QByteArray("") << 255 << qint64(-1) << 1024 << qint64(-1) << true;
        QTest::newRow("source name limit unknown") << QByteArray("") << 255 << qint64(-1) << -1 << qint64(-1) << true;
        for (const char *type : {"vfat", "exfat", "ntfs", "smb", "casefold"})
            QTest::newRow(type) << QByteArray(type) << 255 << qint64(-1) << 255 << qint64(-1) << true;
    }
    void theWalkComesFirstOnlyWhereTheTargetMayRefuse()
    {
        QFETCH(QByteArray, targetType);
        QFETCH(int, targetNameMax);
        QFETCH(qint64, targetFree);
        QFETCH(int, sourceNameMax);
        QFETCH(qint64, sourceUsed);
        QFETCH(bool, walkFirst);
        VolumeLimits target = EngineJob::limitsOfType(targetType);
        if (!target.nameInUtf16)
            target.nameMax = targetNameMax;
        target.freeBytes = targetFree;
        SourceVolume source;
        source.nameMax = sourceNameMax;
        source.usedBytes = sourceUsed;
        QCOMPARE(EngineJob::walkNeededFirst(target, source), walkFirst);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_root;
};

QTEST_GUILESS_MAIN(TestEngineCountBeside)
#include "tst_engine_count_beside.moc"
