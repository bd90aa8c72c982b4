// Trees deeper than a process may hold folders open (one descriptor per
// level would stop at about 500 levels under the usual limit of 1,024),
// with paths far longer than PATH_MAX: copied whole, trashed, and moved
// across volumes (the copy checked and the sources removed folder by folder).
#include "engine_move_fixture.h"
#include "platform/engine/folder_trail.h"
#include "support/engine_scripted_questions.h"

#include <QScopeGuard>

#include <climits>
#include <sys/resource.h>

namespace {

constexpr int Levels = 4100;

// Makes root/d/d/…/d (levels deep) with a file at the bottom, by descriptors.
bool makeDeepTree(const QByteArray &root, int levels)
{
    if (!makeDirs(root))
        return false;
    int fd = open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; fd >= 0 && i < levels; ++i) {
        const int next = mkdirat(fd, "d", 0755) == 0 ? openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    const int file = openat(fd, "bottom.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const bool written = file >= 0 && write(file, "bottom", 6) == 6;
    if (file >= 0)
        close(file);
    close(fd);
    return written;
}

// The deepest folder of the tree at root, opened (the caller closes it).
int openBottom(const QByteArray &root)
{
    int fd = open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int next; fd >= 0 && (next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) >= 0;) {
        close(fd);
        fd = next;
    }
    return fd;
}

// How many levels of "d" the tree at root has, and what its bottom file holds.
int depthOf(const QByteArray &root, QByteArray *bottom)
{
    int fd = open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int levels = 0;
    for (int next; fd >= 0 && (next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) >= 0;) {
        close(fd);
        fd = next;
        ++levels;
    }
    char buffer[16] = {};
    const int file = fd >= 0 ? openat(fd, "bottom.txt", O_RDONLY | O_CLOEXEC) : -1;
    if (file >= 0 && read(file, buffer, sizeof buffer - 1) > 0)
        *bottom = buffer;
    if (file >= 0)
        close(file);
    if (fd >= 0)
        close(fd);
    return levels;
}

} // namespace

class TestEngineDeepTrees : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup() { emptyVolumes(); }
    void deepTreeIsCopiedWhole();
    void deepTreeGoesToTheTrash();
    void deepTreeMovesAcrossVolumes_data();
    void deepTreeMovesAcrossVolumes();
    void trailComesBackThroughClosedFolders_data();
    void trailComesBackThroughClosedFolders();

private:
    struct rlimit m_limit = {};
};

void TestEngineDeepTrees::initTestCase()
{
    setUpVolumes();
    // The usual limit of a desktop session.
    getrlimit(RLIMIT_NOFILE, &m_limit);
    struct rlimit usual = m_limit;
    usual.rlim_cur = std::min<rlim_t>(1024, m_limit.rlim_cur);
    QVERIFY(setrlimit(RLIMIT_NOFILE, &usual) == 0);
}

void TestEngineDeepTrees::cleanupTestCase()
{
    setrlimit(RLIMIT_NOFILE, &m_limit);
    tearDownVolumes();
}

void TestEngineDeepTrees::deepTreeIsCopiedWhole()
{
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDeepTree(root + "/src/deep", Levels));
    QVERIFY(2 * Levels > PATH_MAX);
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(copyRecord(text(root + "/src/deep"), text(root + "/dst")), questions).status,
             FileOpResult::Status::Done);
    QVERIFY(questions.errorQuestions.isEmpty());
    QByteArray bottom;
    QCOMPARE(depthOf(root + "/dst/deep", &bottom), Levels);
    QCOMPARE(bottom, QByteArray("bottom"));
    QCOMPARE(depthOf(root + "/src/deep", &bottom), Levels); // the source as it was
}

void TestEngineDeepTrees::deepTreeGoesToTheTrash()
{
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDeepTree(root + "/deep", Levels));
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(deleteRecord(text(root + "/deep")), questions).status, FileOpResult::Status::Done);
    QVERIFY(!exists(root + "/deep"));
    QByteArray bottom;
    QCOMPARE(depthOf(bytes(m_data->path()) + "/Trash/files/deep", &bottom), Levels);
}

void TestEngineDeepTrees::deepTreeMovesAcrossVolumes_data()
{
    QTest::addColumn<bool>("fromDisk");
    QTest::addColumn<bool>("twoNames"); // the bottom file has a second name beside it
    QTest::newRow("disk to memory") << true << false;
    QTest::newRow("memory to disk") << false << false;
    QTest::newRow("memory to disk, a file with two names") << false << true;
}

void TestEngineDeepTrees::deepTreeMovesAcrossVolumes()
{
    QFETCH(bool, fromDisk);
    QFETCH(bool, twoNames);
    requireTwoVolumes();
    const QByteArray from = bytes((fromDisk ? m_disk : m_shm)->path());
    const QByteArray to = bytes((fromDisk ? m_shm : m_disk)->path());
    QVERIFY(makeDeepTree(from + "/deep", Levels));
    if (twoNames) {
        const int bottomFd = openBottom(from + "/deep");
        QVERIFY(bottomFd >= 0);
        const bool linked = linkat(bottomFd, "bottom.txt", bottomFd, "again.txt", 0) == 0;
        close(bottomFd);
        QVERIFY(linked);
    }
    ScriptedEngineQuestions questions;
    const FileOpResult result = runSync(moveRecord(text(from + "/deep"), text(to)), questions);
    QCOMPARE(result.status, FileOpResult::Status::Done);
    QVERIFY(questions.errorQuestions.isEmpty());
    QVERIFY2(result.notes.isEmpty(), qPrintable(result.notes.join(QLatin1Char('\n'))));
    if (twoNames) {
        // Still one file with two names, as in the source.
        const int bottomFd = openBottom(to + "/deep");
        struct stat first = {};
        struct stat second = {};
        const bool found = bottomFd >= 0 && fstatat(bottomFd, "bottom.txt", &first, AT_SYMLINK_NOFOLLOW) == 0
            && fstatat(bottomFd, "again.txt", &second, AT_SYMLINK_NOFOLLOW) == 0;
        if (bottomFd >= 0)
            close(bottomFd);
        QVERIFY(found);
        QCOMPARE(first.st_ino, second.st_ino);
        QCOMPARE(first.st_nlink, nlink_t(2));
    }
    QByteArray bottom;
    QCOMPARE(depthOf(to + "/deep", &bottom), Levels);
    QCOMPARE(bottom, QByteArray("bottom"));
    QVERIFY(!exists(from + "/deep"));
    QVERIFY(!hasTemporaries(to));
}

void TestEngineDeepTrees::trailComesBackThroughClosedFolders_data()
{
    QTest::addColumn<bool>("moveAway"); // the folder above the closed ones is moved meanwhile
    QTest::newRow("the same folders") << false;
    QTest::newRow("a folder moved away") << true;
}

void TestEngineDeepTrees::trailComesBackThroughClosedFolders()
{
    QFETCH(bool, moveAway);
    constexpr int Depth = 12;
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDeepTree(root + "/t", Depth));
    QVERIFY(makeDirs(root + "/elsewhere"));
    // Two held: on the way down all but the deepest two are closed again.
    EngineJob::FolderTrail trail(2);
    trail.enter(open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    trail.enter(trail.openBelow("t"));
    QList<QPair<dev_t, ino_t>> entered;
    for (int level = 0; level < Depth; ++level) {
        struct stat here;
        QVERIFY(fstat(trail.current(), &here) == 0);
        entered.append({here.st_dev, here.st_ino});
        trail.enter(trail.openBelow("d"));
        QVERIFY(trail.current() >= 0);
    }
    // t/d/d/d (level 3, closed by now) is moved out of the tree: its ".."
    // is another folder than the one the trail came down through.
    if (moveAway)
        QVERIFY(::rename(QByteArray(root + "/t/d/d/d").constData(), QByteArray(root + "/elsewhere/d").constData())
                == 0);
    int cameBack = 0;
    for (int level = Depth - 1; level >= 0; --level) {
        if (!trail.leave())
            break;
        struct stat here;
        QVERIFY(fstat(trail.current(), &here) == 0);
        QCOMPARE(qMakePair(here.st_dev, here.st_ino), entered.at(level));
        ++cameBack;
    }
    QCOMPARE(cameBack, moveAway ? Depth - 3 : Depth);
    if (moveAway)
        QCOMPARE(trail.current(), -1);
}

QTEST_GUILESS_MAIN(TestEngineDeepTrees)
#include "tst_engine_deep_trees.moc"
