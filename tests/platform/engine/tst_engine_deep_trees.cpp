// Trees deeper than a process may hold folders open (one descriptor per
// level would stop at about 500 levels under the usual limit of 1,024),
// with paths far longer than PATH_MAX: copied whole and trashed.
#include "engine_move_fixture.h"
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
    void deepTreeAcrossVolumesLosesNothingAndLeavesNothing();

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

void TestEngineDeepTrees::deepTreeAcrossVolumesLosesNothingAndLeavesNothing()
{
    requireTwoVolumes();
    const QByteArray root = bytes(m_disk->path());
    QVERIFY(makeDeepTree(root + "/deep", Levels));
    ScriptedEngineQuestions questions;
    const FileOpResult result = runSync(moveRecord(text(root + "/deep"), m_shm->path()), questions);
    QByteArray bottom;
    if (result.status == FileOpResult::Status::Done) {
        QCOMPARE(depthOf(bytes(m_shm->path()) + "/deep", &bottom), Levels);
    } else {
        // Not done: the source is whole and the staging folder is gone again.
        QCOMPARE(depthOf(root + "/deep", &bottom), Levels);
        QVERIFY(!hasTemporaries(bytes(m_shm->path())));
    }
    QCOMPARE(bottom, QByteArray("bottom"));
}

QTEST_GUILESS_MAIN(TestEngineDeepTrees)
#include "tst_engine_deep_trees.moc"
