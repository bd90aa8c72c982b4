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

namespace {

// A source tree with a bit of everything a move must carry over.
void makeTree(const QByteArray &root)
{
    makeDirs(root + "/sub/deeper");
    writeFile(root + "/top.txt", "top");
    writeFile(root + "/sub/deeper/data.bin", QByteArray(100000, 'q'));
    writeFile(root + "/sub/with space\nand newline", "odd");
    writeFile(root + "/sub/" + QByteArray("\xff\xfe", 2), "not utf-8");
    symlink("../top.txt", QByteArray(root + "/sub/link").constData());
    chmod(QByteArray(root + "/top.txt").constData(), 0640);
    const struct timespec old[2] = {{1000000000, 0}, {1111111111, 0}};
    utimensat(AT_FDCWD, QByteArray(root + "/top.txt").constData(), old, 0);
    utimensat(AT_FDCWD, QByteArray(root + "/sub").constData(), old, 0);
}

void verifyTree(const QByteArray &root)
{
    QCOMPARE(readFile(root + "/top.txt"), QByteArray("top"));
    QCOMPARE(readFile(root + "/sub/deeper/data.bin"), QByteArray(100000, 'q'));
    QCOMPARE(readFile(root + "/sub/with space\nand newline"), QByteArray("odd"));
    QCOMPARE(readFile(root + "/sub/" + QByteArray("\xff\xfe", 2)), QByteArray("not utf-8"));
    QVERIFY(S_ISLNK(statOf(root + "/sub/link").st_mode));
    QCOMPARE(statOf(root + "/top.txt").st_mode & 07777, mode_t(0640));
    QCOMPARE(qint64(statOf(root + "/top.txt").st_mtim.tv_sec), qint64(1111111111));
    QCOMPARE(qint64(statOf(root + "/sub").st_mtim.tv_sec), qint64(1111111111));
}

} // namespace

class TestEngineMove : public QObject
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
    void crossVolumeMoveCopiesThenRemoves_data();
    void crossVolumeMoveCopiesThenRemoves();
    void crossVolumeMergeOverwrites();
    void cancelledCrossVolumeMoveKeepsSource();
    void skippedItemStaysInSource();
    void crossVolumeMoveOntoFullDisk();
    void replacedFileGoesToTheTrash();
    void folderMergeIsAllOrNothing();
    void failedCrossVolumeMoveLeavesTargetAsItWas();

private:
    void requireTwoVolumes();
    QByteArray mountSmallVolume(const QByteArray &where, const char *size);
    QTemporaryDir *m_data = nullptr; // XDG_DATA_HOME: the trash of replaced files
    QTemporaryDir *m_disk = nullptr; // under /tmp
    QTemporaryDir *m_shm = nullptr; // under /dev/shm (tmpfs)
};

void TestEngineMove::initTestCase()
{
    m_disk = new QTemporaryDir;
    m_shm = new QTemporaryDir(QStringLiteral("/dev/shm/korvan-test-XXXXXX"));
    m_data = new QTemporaryDir;
    qputenv("XDG_DATA_HOME", bytes(m_data->path()));
}

void TestEngineMove::cleanupTestCase()
{
    cleanup();
    delete m_disk;
    delete m_shm;
    delete m_data;
}

void TestEngineMove::cleanup()
{
    for (QTemporaryDir *dir : {m_disk, m_shm, m_data}) {
        if (!dir->isValid())
            continue;
        const QByteArray root = bytes(dir->path());
        for (const QString &entry : listTree(root)) {
            if (!entry.contains(QLatin1Char('/')))
                removeTree(root + '/' + bytes(entry));
        }
    }
}

void TestEngineMove::requireTwoVolumes()
{
    if (!m_shm->isValid())
        QSKIP("/dev/shm is not usable here, so no second volume for the cross-volume case");
    if (statOf(bytes(m_disk->path())).st_dev == statOf(bytes(m_shm->path())).st_dev)
        QSKIP("the temporary folder and /dev/shm are on the same volume; cannot test a cross-volume move");
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

void TestEngineMove::crossVolumeMoveCopiesThenRemoves_data()
{
    QTest::addColumn<bool>("fromShm");
    QTest::newRow("tmpfs to disk") << true;
    QTest::newRow("disk to tmpfs") << false;
}

void TestEngineMove::crossVolumeMoveCopiesThenRemoves()
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

void TestEngineMove::crossVolumeMergeOverwrites()
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

void TestEngineMove::cancelledCrossVolumeMoveKeepsSource()
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
    runner.setTestSettings({64 * 1024, 20000, {}});
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

void TestEngineMove::crossVolumeMoveOntoFullDisk()
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
    const FileOpResult result = runSync(moveRecord(text(root + "/src"), text(root + "/small")), questions);
    QCOMPARE(result.status, FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.first().errorCode, ENOSPC);
    // Nothing of the source is lost and nothing of the attempt is left.
    QCOMPARE(statOf(root + "/src/a-small.bin").st_size, off_t(256 * 1024));
    QCOMPARE(statOf(root + "/src/b-huge.bin").st_size, off_t(5 * 1024 * 1024));
    QCOMPARE(listTree(root + "/small"), QStringList());
}

QByteArray TestEngineMove::mountSmallVolume(const QByteArray &where, const char *size)
{
    if (geteuid() != 0 || !makeDirs(where))
        return QByteArray();
    const QByteArray options = QByteArray("size=") + size;
    if (mount("tmpfs", where.constData(), "tmpfs", 0, options.constData()) != 0)
        return QByteArray();
    return where;
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

void TestEngineMove::failedCrossVolumeMoveLeavesTargetAsItWas()
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
    const FileOpResult result = runSync(moveRecord(text(root + "/src"), text(small)), questions);
    QCOMPARE(result.status, FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.first().errorCode, ENOSPC);
    QCOMPARE(listTree(small), targetBefore); // nothing staged or created is left
    for (int i = 0; i < 20; ++i)
        QCOMPARE(readFile(small + "/src/f" + QByteArray::number(i + 10)), "old " + QByteArray::number(i));
    QCOMPARE(listTree(root + "/src"), sourceBefore);
    QCOMPARE(readFile(root + "/src/f29"), QByteArray(160 * 1024, char('a' + 19)));
}

QTEST_GUILESS_MAIN(TestEngineMove)
#include "tst_engine_move.moc"
