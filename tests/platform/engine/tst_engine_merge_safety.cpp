// Merges into folders the user already has: their modes stay as they were,
// and a merge that cannot set every replaced file aside changes nothing.
#include "engine_move_fixture.h"
#include "support/engine_scripted_questions.h"

#include <QScopeGuard>

#include <sys/mount.h>

class TestEngineMergeSafety : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpVolumes(); }
    void cleanupTestCase() { tearDownVolumes(); }
    void cleanup() { emptyVolumes(); }
    void mergeKeepsTheModeOfAnExistingFolder_data();
    void mergeKeepsTheModeOfAnExistingFolder();
    void mergeThatCannotTrashEveryReplacedFileChangesNothing();
};

void TestEngineMergeSafety::mergeKeepsTheModeOfAnExistingFolder_data()
{
    QTest::addColumn<int>("existingMode");
    QTest::newRow("owner-only with the sticky bit") << 01700;
    QTest::newRow("owner-only") << 0700;
    QTest::newRow("shared, sticky") << 01777;
}

void TestEngineMergeSafety::mergeKeepsTheModeOfAnExistingFolder()
{
    QFETCH(int, existingMode);
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDirs(root + "/src/dir/inner") && makeDirs(root + "/dst/dir"));
    QVERIFY(writeFile(root + "/src/dir/f", "f"));
    QVERIFY(chmod(QByteArray(root + "/src/dir").constData(), 0777) == 0);
    QVERIFY(chmod(QByteArray(root + "/src/dir/inner").constData(), 0750) == 0);
    QVERIFY(chmod(QByteArray(root + "/dst/dir").constData(), mode_t(existingMode)) == 0);
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(copyRecord(text(root + "/src/dir"), text(root + "/dst")), questions).status,
             FileOpResult::Status::Done);
    QCOMPARE(readFile(root + "/dst/dir/f"), QByteArray("f"));
    QCOMPARE(int(statOf(root + "/dst/dir").st_mode & 07777), existingMode);
    QCOMPARE(int(statOf(root + "/dst/dir/inner").st_mode & 07777), 0750); // made by the copy: the source's
    QVERIFY(!hasTemporaries(root + "/dst"));
}

void TestEngineMergeSafety::mergeThatCannotTrashEveryReplacedFileChangesNothing()
{
    // The trash's info folder has room for three info files, the merge replaces six.
    const QByteArray info = bytes(m_data->path()) + "/Trash/info";
    QVERIFY(makeDirs(bytes(m_data->path()) + "/Trash/files"));
    if (mountSmallVolume(info, "1m,nr_inodes=4").isEmpty())
        QSKIP("needs root to mount a volume with few inodes");
    auto unmount = qScopeGuard([&] { umount2(info.constData(), MNT_DETACH); });
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDirs(root + "/src/dir") && makeDirs(root + "/dst/dir"));
    for (int i = 1; i <= 6; ++i) {
        const QByteArray name = "/dir/f" + QByteArray::number(i);
        QVERIFY(writeFile(root + "/src" + name, "new " + QByteArray::number(i)));
        QVERIFY(writeFile(root + "/dst" + name, "old " + QByteArray::number(i)));
    }
    const QStringList sourceBefore = listTree(root + "/src");

    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    const FileOpResult result = runSync(moveRecord(text(root + "/src/dir"), text(root + "/dst")), questions);
    QVERIFY(result.status != FileOpResult::Status::Done);
    QCOMPARE(questions.errorQuestions.size(), 1);
    for (int i = 1; i <= 6; ++i)
        QCOMPARE(readFile(root + "/dst/dir/f" + QByteArray::number(i)), "old " + QByteArray::number(i));
    QCOMPARE(listTree(root + "/src"), sourceBefore);
    QCOMPARE(listTree(info), QStringList());
    QCOMPARE(listTree(bytes(m_data->path()) + "/Trash/files"), QStringList());
}

QTEST_GUILESS_MAIN(TestEngineMergeSafety)
#include "tst_engine_merge_safety.moc"
