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

class TestEngineMove : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void sameVolumeMoveIsARename_data();
    void sameVolumeMoveIsARename();
    void overwritesWithoutAskingUnlessTold();
    void folderMergesIntoExistingFolder();
    void skippedItemStaysInSource();
    void replacedFileGoesToTheTrash();
    void folderMergeIsAllOrNothing();
};

void TestEngineMove::initTestCase()
{
    setUpVolumes();
}

void TestEngineMove::cleanupTestCase()
{
    tearDownVolumes();
}

void TestEngineMove::cleanup()
{
    emptyVolumes();
}

void TestEngineMove::sameVolumeMoveIsARename_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("without slash") << QString();
    QTest::newRow("with slash") << QStringLiteral("/");
}

void TestEngineMove::sameVolumeMoveIsARename()
{
    QFETCH(QString, suffix);
    const QByteArray root = bytes(m_disk->path());
    makeTree(root + "/tree");
    QVERIFY(writeFile(root + "/file.txt", "file"));
    const ino_t treeInode = statOf(root + "/tree").st_ino;
    const ino_t fileInode = statOf(root + "/file.txt").st_ino;

    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(moveRecord(text(root + "/tree"), text(root + "/new/place") + suffix), questions).status,
             FileOpResult::Status::Done);
    QCOMPARE(runSync(moveRecord(text(root + "/file.txt"), text(root + "/new/place") + suffix), questions).status,
             FileOpResult::Status::Done);
    QVERIFY(!exists(root + "/tree"));
    QVERIFY(!exists(root + "/file.txt"));
    verifyTree(root + "/new/place/tree");
    QCOMPARE(statOf(root + "/new/place/tree").st_ino, treeInode);
    QCOMPARE(statOf(root + "/new/place/file.txt").st_ino, fileInode);
    QVERIFY(questions.createFolderQuestions.isEmpty());
    QVERIFY(questions.errorQuestions.isEmpty());
}

void TestEngineMove::overwritesWithoutAskingUnlessTold()
{
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDirs(root + "/dst"));
    QVERIFY(writeFile(root + "/a.txt", "new"));
    QVERIFY(writeFile(root + "/dst/a.txt", "old"));
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(moveRecord(text(root + "/a.txt"), text(root + "/dst")), questions).status,
             FileOpResult::Status::Done);
    QVERIFY(questions.overwriteQuestions.isEmpty());
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("new"));
    QVERIFY(!exists(root + "/a.txt"));

    // Without FOF_NOCONFIRMATION a move asks like a copy; skipping keeps both.
    QVERIFY(writeFile(root + "/a.txt", "newer"));
    FileOpRecord asking = moveRecord(text(root + "/a.txt"), text(root + "/dst"));
    asking.fFlags &= ~FileOpFlag::NoConfirmation;
    ScriptedEngineQuestions skipping;
    skipping.defaultOverwrite = OverwriteAnswer::Skip;
    QCOMPARE(runSync(asking, skipping).status, FileOpResult::Status::Skipped);
    QCOMPARE(skipping.overwriteQuestions.size(), 1);
    QCOMPARE(readFile(root + "/a.txt"), QByteArray("newer"));
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("new"));
}

void TestEngineMove::folderMergesIntoExistingFolder()
{
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDirs(root + "/src/dir/sub"));
    QVERIFY(makeDirs(root + "/dst/dir/sub"));
    QVERIFY(writeFile(root + "/src/dir/a", "new a"));
    QVERIFY(writeFile(root + "/src/dir/sub/b", "b"));
    QVERIFY(writeFile(root + "/dst/dir/a", "old a"));
    QVERIFY(writeFile(root + "/dst/dir/c", "c"));
    QVERIFY(writeFile(root + "/dst/dir/sub/d", "d"));

    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(moveRecord(text(root + "/src/dir"), text(root + "/dst")), questions).status,
             FileOpResult::Status::Done);
    QCOMPARE(listTree(root + "/dst/dir"),
             (QStringList {QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("sub"), QStringLiteral("sub/b"),
                           QStringLiteral("sub/d")}));
    QCOMPARE(readFile(root + "/dst/dir/a"), QByteArray("new a"));
    QVERIFY(!exists(root + "/src/dir"));
}

void TestEngineMove::skippedItemStaysInSource()
{
    requireTwoVolumes();
    const QByteArray from = bytes(m_shm->path());
    const QByteArray to = bytes(m_disk->path());
    QVERIFY(makeDirs(from + "/tree/sub"));
    QVERIFY(writeFile(from + "/tree/sub/moved.txt", "moved"));
    QVERIFY(writeFile(from + "/tree/top.txt", "top"));
    QVERIFY(mkfifo(QByteArray(from + "/tree/sub/pipe").constData(), 0644) == 0);

    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    const FileOpResult result = runSync(moveRecord(text(from + "/tree"), text(to)), questions);
    QCOMPARE(result.status, FileOpResult::Status::Skipped);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QVERIFY(questions.errorQuestions.first().path.endsWith(QStringLiteral("/pipe")));
    QCOMPARE(listTree(from + "/tree"), (QStringList {QStringLiteral("sub"), QStringLiteral("sub/pipe")}));
    QCOMPARE(readFile(to + "/tree/sub/moved.txt"), QByteArray("moved"));
    QCOMPARE(readFile(to + "/tree/top.txt"), QByteArray("top"));
}

void TestEngineMove::replacedFileGoesToTheTrash()
{
    // Within a volume and across volumes, the older file lands in the trash
    // with its own path, restorable; the user is asked nothing.
    const QByteArray root = bytes(m_disk->path());
    const QByteArray trash = bytes(m_data->path()) + "/Trash";
    QVERIFY(makeDirs(root + "/dst"));
    QVERIFY(writeFile(root + "/a.txt", "new"));
    QVERIFY(writeFile(root + "/dst/a.txt", "old"));
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(moveRecord(text(root + "/a.txt"), text(root + "/dst")), questions).status,
             FileOpResult::Status::Done);
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("new"));
    QCOMPARE(readFile(trash + "/files/a.txt"), QByteArray("old"));
    QVERIFY(readFile(trash + "/info/a.txt.trashinfo")
                .contains(QByteArray("Path=" + Trash::encodeInfoPath(root + "/dst/a.txt"))));
    if (m_shm->isValid() && statOf(root).st_dev != statOf(bytes(m_shm->path())).st_dev) {
        const QByteArray shm = bytes(m_shm->path());
        QVERIFY(writeFile(shm + "/a.txt", "newer"));
        QCOMPARE(runSync(moveRecord(text(shm + "/a.txt"), text(root + "/dst")), questions).status,
                 FileOpResult::Status::Done);
        QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("newer"));
        QCOMPARE(readFile(trash + "/files/a.2.txt"), QByteArray("new"));
        QVERIFY(!exists(shm + "/a.txt"));
    }
    QVERIFY(questions.overwriteQuestions.isEmpty());
    QVERIFY(questions.errorQuestions.isEmpty());

    // Where no trash can take the older file, nothing is replaced and the user may skip.
    const QByteArray volume = mountSmallVolume(root + "/volume", "1m");
    if (volume.isEmpty())
        QSKIP("needs root to mount a tmpfs without a usable trash");
    auto unmount = qScopeGuard([&] { umount2(volume.constData(), MNT_DETACH); });
    QVERIFY(writeFile(volume + "/.Trash-" + QByteArray::number(uint(getuid())), "in the way"));
    QVERIFY(writeFile(volume + "/b.txt", "old b"));
    QVERIFY(makeDirs(volume + "/incoming"));
    QVERIFY(writeFile(volume + "/incoming/b.txt", "new b"));
    ScriptedEngineQuestions skipping;
    skipping.defaultError = ErrorAnswer::Skip;
    QCOMPARE(runSync(moveRecord(text(volume + "/incoming/b.txt"), text(volume)), skipping).status,
             FileOpResult::Status::Skipped);
    QCOMPARE(skipping.errorQuestions.size(), 1);
    QVERIFY(skipping.errorQuestions.first().canSkip);
    QCOMPARE(skipping.errorQuestions.first().path, text(volume + "/b.txt"));
    QCOMPARE(readFile(volume + "/b.txt"), QByteArray("old b"));
    QCOMPARE(readFile(volume + "/incoming/b.txt"), QByteArray("new b"));
}

void TestEngineMove::folderMergeIsAllOrNothing()
{
    // The clash sits deep and late: before, everything ahead of it had moved.
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDirs(root + "/src/dir/zz/clash"));
    QVERIFY(makeDirs(root + "/dst/dir/zz"));
    for (int i = 0; i < 10; ++i)
        QVERIFY(writeFile(root + "/src/dir/f" + QByteArray::number(i), "new"));
    QVERIFY(writeFile(root + "/dst/dir/f0", "old"));
    QVERIFY(writeFile(root + "/dst/dir/zz/clash", "a file where a folder goes"));
    const QStringList sourceBefore = listTree(root + "/src");
    const QStringList targetBefore = listTree(root + "/dst");

    ScriptedEngineQuestions questions;
    const FileOpResult result = runSync(moveRecord(text(root + "/src/dir"), text(root + "/dst")), questions);
    QCOMPARE(result.status, FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QCOMPARE(questions.errorQuestions.first().path, text(root + "/dst/dir/zz/clash"));
    QCOMPARE(listTree(root + "/src"), sourceBefore);
    QCOMPARE(listTree(root + "/dst"), targetBefore);
    QCOMPARE(readFile(root + "/dst/dir/f0"), QByteArray("old"));
    QVERIFY(!exists(bytes(m_data->path()) + "/Trash/files/f0"));

    // A file to replace on a volume where no trash can take it is found first too.
    const QByteArray volume = mountSmallVolume(root + "/volume", "1m");
    if (volume.isEmpty())
        QSKIP("needs root to mount a tmpfs without a usable trash");
    auto unmount = qScopeGuard([&] { umount2(volume.constData(), MNT_DETACH); });
    QVERIFY(writeFile(volume + "/.Trash-" + QByteArray::number(uint(getuid())), "in the way"));
    QVERIFY(makeDirs(volume + "/src/dir"));
    QVERIFY(makeDirs(volume + "/dst/dir"));
    for (int i = 0; i < 10; ++i)
        QVERIFY(writeFile(volume + "/src/dir/f" + QByteArray::number(i), "new"));
    QVERIFY(writeFile(volume + "/dst/dir/f0", "old"));
    const QStringList volumeBefore = listTree(volume);
    ScriptedEngineQuestions noTrash;
    QCOMPARE(runSync(moveRecord(text(volume + "/src/dir"), text(volume + "/dst")), noTrash).status,
             FileOpResult::Status::Failed);
    QCOMPARE(noTrash.errorQuestions.size(), 1);
    QCOMPARE(noTrash.errorQuestions.first().path, text(volume + "/dst/dir/f0"));
    QCOMPARE(listTree(volume), volumeBefore);
}

QTEST_GUILESS_MAIN(TestEngineMove)
#include "tst_engine_move.moc"
