#include "engine_move_fixture.h"
#include "platform/engine/file_op_runner.h"
#include "platform/engine/fs_util.h"
#include "platform/engine/trash.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace EngineTestFiles;

// Moves from one volume to another: copied, then removed, and what is left
// when one is cancelled or the target volume fills up.
class TestEngineMoveCrossVolume : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void crossVolumeMoveCopiesThenRemoves_data();
    void crossVolumeMoveCopiesThenRemoves();
    void crossVolumeMergeOverwrites();
    void cancelledCrossVolumeMoveKeepsSource();
    void crossVolumeMoveOntoFullDisk();
    void failedCrossVolumeMoveLeavesTargetAsItWas();
};

void TestEngineMoveCrossVolume::initTestCase()
{
    setUpVolumes();
}

void TestEngineMoveCrossVolume::cleanupTestCase()
{
    tearDownVolumes();
}

void TestEngineMoveCrossVolume::cleanup()
{
    emptyVolumes();
}

void TestEngineMoveCrossVolume::crossVolumeMoveCopiesThenRemoves_data()
{
    QTest::addColumn<bool>("fromShm");
    QTest::newRow("tmpfs to disk") << true;
    QTest::newRow("disk to tmpfs") << false;
}

void TestEngineMoveCrossVolume::crossVolumeMoveCopiesThenRemoves()
{
    QFETCH(bool, fromShm);
    requireTwoVolumes();
    const QByteArray from = bytes((fromShm ? m_shm : m_disk)->path());
    const QByteArray to = bytes((fromShm ? m_disk : m_shm)->path());
    makeTree(from + "/tree");
    QVERIFY(writeFile(from + "/single.txt", "single"));

    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(moveRecord(text(from + "/tree"), text(to + "/dest/")), questions).status,
             FileOpResult::Status::Done);
    QCOMPARE(runSync(moveRecord(text(from + "/single.txt"), text(to + "/dest")), questions).status,
             FileOpResult::Status::Done);
    verifyTree(to + "/dest/tree");
    QCOMPARE(readFile(to + "/dest/single.txt"), QByteArray("single"));
    QVERIFY(!exists(from + "/tree"));
    QVERIFY(!exists(from + "/single.txt"));
    QVERIFY(!hasTemporaries(to));
}

void TestEngineMoveCrossVolume::crossVolumeMergeOverwrites()
{
    requireTwoVolumes();
    const QByteArray from = bytes(m_shm->path());
    const QByteArray to = bytes(m_disk->path());
    QVERIFY(makeDirs(from + "/dir/sub"));
    QVERIFY(makeDirs(to + "/dir/sub"));
    QVERIFY(writeFile(from + "/dir/sub/x", "new x"));
    QVERIFY(writeFile(from + "/dir/y", "y"));
    QVERIFY(writeFile(to + "/dir/sub/x", "old x"));
    QVERIFY(writeFile(to + "/dir/keep", "keep"));

    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(moveRecord(text(from + "/dir"), text(to)), questions).status, FileOpResult::Status::Done);
    QVERIFY(questions.overwriteQuestions.isEmpty());
    QCOMPARE(readFile(to + "/dir/sub/x"), QByteArray("new x"));
    QCOMPARE(readFile(to + "/dir/y"), QByteArray("y"));
    QCOMPARE(readFile(to + "/dir/keep"), QByteArray("keep"));
    QVERIFY(!exists(from + "/dir"));
}

void TestEngineMoveCrossVolume::cancelledCrossVolumeMoveKeepsSource()
{
    requireTwoVolumes();
    const QByteArray from = bytes(m_shm->path());
    const QByteArray to = bytes(m_disk->path());
    makeTree(from + "/tree");
    makeBigFile(from + "/tree/zz-big.bin", 4 * 1024 * 1024);
    const QStringList sourceBefore = listTree(from + "/tree");
    QVERIFY(makeDirs(to + "/dest"));
    const QByteArray deeper = to + "/dest/new/deeper"; // made by the move, gone with it

    FileOpRunner runner;
    runner.setTestSettings(chunkedSettings(64 * 1024, 20000));
    bool sawCopying = false;
    connect(&runner, &FileOpRunner::progress, this, [&](const FileOpProgress &p) {
        if (p.bytesDone > 0 && !sawCopying) {
            sawCopying = true;
            runner.cancel();
        }
    });
    FileOpParams params;
    QString error;
    QVERIFY(FileOpParams::fromRecord(moveRecord(text(from + "/tree"), text(deeper)), &params, &error));
    ScriptedEngineQuestions questions;
    QCOMPARE(runner.run(params, questions).status, FileOpResult::Status::Cancelled);
    QVERIFY(sawCopying);
    QCOMPARE(listTree(from + "/tree"), sourceBefore);
    verifyTree(from + "/tree");
    QCOMPARE(statOf(from + "/tree/zz-big.bin").st_size, off_t(4 * 1024 * 1024));
    QCOMPARE(listTree(to + "/dest"), QStringList()); // the partial copy is gone
}

void TestEngineMoveCrossVolume::crossVolumeMoveOntoFullDisk()
{
    if (geteuid() != 0)
        QSKIP("needs root to mount a small tmpfs for the full-disk case");
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDirs(root + "/small"));
    if (mount("tmpfs", QByteArray(root + "/small").constData(), "tmpfs", 0, "size=2m") != 0)
        QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: ") + QString::fromLocal8Bit(strerror(errno))));
    auto unmount = qScopeGuard([&] { umount2(QByteArray(root + "/small").constData(), MNT_DETACH); });
    QVERIFY(makeDirs(root + "/src"));
    makeBigFile(root + "/src/a-small.bin", 256 * 1024);
    makeBigFile(root + "/src/b-huge.bin", 5 * 1024 * 1024);

    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Cancel;
    const FileOpResult result
        = runSync(moveRecord(text(root + "/src"), text(root + "/small")), questions, nullptr, withoutPreflight());
    QCOMPARE(result.status, FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.first().errorCode, ENOSPC);
    // Nothing of the source is lost and nothing of the attempt is left.
    QCOMPARE(statOf(root + "/src/a-small.bin").st_size, off_t(256 * 1024));
    QCOMPARE(statOf(root + "/src/b-huge.bin").st_size, off_t(5 * 1024 * 1024));
    QCOMPARE(listTree(root + "/small"), QStringList());
}

void TestEngineMoveCrossVolume::failedCrossVolumeMoveLeavesTargetAsItWas()
{
    // The target holds older versions; the volume fills up halfway through.
    const QByteArray root = bytes(m_disk->path());
    const QByteArray small = mountSmallVolume(root + "/small", "2m");
    if (small.isEmpty())
        QSKIP("needs root to mount a small tmpfs for the full-disk case");
    auto unmount = qScopeGuard([&] { umount2(small.constData(), MNT_DETACH); });
    QVERIFY(makeDirs(small + "/src"));
    QVERIFY(makeDirs(root + "/src/new/deeper"));
    for (int i = 0; i < 20; ++i) {
        const QByteArray name = "/src/f" + QByteArray::number(i + 10);
        QVERIFY(writeFile(small + name, "old " + QByteArray::number(i)));
        QVERIFY(writeFile(root + name, QByteArray(160 * 1024, char('a' + i))));
    }
    QVERIFY(writeFile(root + "/src/new/deeper/z", "z"));
    const QStringList targetBefore = listTree(small);
    const QStringList sourceBefore = listTree(root + "/src");

    ScriptedEngineQuestions questions;
    const FileOpResult result
        = runSync(moveRecord(text(root + "/src"), text(small)), questions, nullptr, withoutPreflight());
    QCOMPARE(result.status, FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.first().errorCode, ENOSPC);
    QCOMPARE(listTree(small), targetBefore); // nothing staged or created is left
    for (int i = 0; i < 20; ++i)
        QCOMPARE(readFile(small + "/src/f" + QByteArray::number(i + 10)), "old " + QByteArray::number(i));
    QCOMPARE(listTree(root + "/src"), sourceBefore);
    QCOMPARE(readFile(root + "/src/f29"), QByteArray(160 * 1024, char('a' + 19)));
}

QTEST_GUILESS_MAIN(TestEngineMoveCrossVolume)
#include "tst_engine_move_cross_volume.moc"
