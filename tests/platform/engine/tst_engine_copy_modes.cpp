// A copy keeps each file's mode and times whatever decides the mode of a
// new file at the target: the umask of the process, or a default ACL of
// the folder it lands in (which the umask then does not apply to); the
// same with and without the copy workers, for a single file, a tree, and
// a folder merged into one that already has a default ACL.
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace EngineTestFiles;

namespace {

// A default ACL of user::rwx group::--- other::---: without a chmod, new
// files in the folder get no access for group and others, whatever the umask.
bool setOwnerOnlyDefaultAcl(const QByteArray &folder)
{
    struct Entry
    {
        quint16 tag;
        quint16 perm;
        quint32 id;
    };
    const quint32 version = 2;
    const Entry entries[] = {{0x01, 7, 0xffffffffu}, {0x04, 0, 0xffffffffu}, {0x20, 0, 0xffffffffu}};
    QByteArray value(reinterpret_cast<const char *>(&version), sizeof version);
    value.append(reinterpret_cast<const char *>(entries), sizeof entries);
    return setxattr(folder.constData(), "system.posix_acl_default", value.constData(), size_t(value.size()), 0) == 0;
}

const mode_t Modes[] = {0644, 0755, 0600, 0640, 0444, 0777, 04755, 02750};

// Files of every mode in Modes, each with its own modification time.
void makeFiles(const QByteArray &folder)
{
    QVERIFY(makeDirs(folder));
    for (int i = 0; i < int(std::size(Modes)); ++i) {
        const QByteArray file = folder + "/m" + QByteArray::number(Modes[i], 8);
        QVERIFY(writeFile(file, "mode " + QByteArray::number(i)));
        QVERIFY(chmod(file.constData(), Modes[i]) == 0);
        const struct timespec times[2] = {{1500000000 + i, 123456789}, {1400000000 + i, 987654321}};
        QVERIFY(utimensat(AT_FDCWD, file.constData(), times, 0) == 0);
    }
}

// Every file of from has its mode, modification time and contents in to.
void compareFiles(const QByteArray &from, const QByteArray &to)
{
    for (const mode_t mode : Modes) {
        const QByteArray name = "/m" + QByteArray::number(mode, 8);
        const struct stat source = statOf(from + name);
        const struct stat copy = statOf(to + name);
        QVERIFY2(S_ISREG(copy.st_mode), QByteArray(to + name).constData());
        QCOMPARE(QByteArray::number(copy.st_mode & 07777, 8), QByteArray::number(source.st_mode & 07777, 8));
        QCOMPARE(copy.st_mtim.tv_sec, source.st_mtim.tv_sec);
        QCOMPARE(copy.st_mtim.tv_nsec, source.st_mtim.tv_nsec);
        QCOMPARE(readFile(to + name), readFile(from + name));
    }
}

} // namespace

class TestEngineCopyModes : public QObject
{
    Q_OBJECT

private slots:
    void modesAndTimesKept_data();
    void modesAndTimesKept();
};

void TestEngineCopyModes::modesAndTimesKept_data()
{
    QTest::addColumn<int>("umaskBits");
    QTest::addColumn<bool>("defaultAcl"); // on the destination folder
    QTest::addColumn<bool>("mergedAcl"); // only on an existing folder the copy merges into
    QTest::addColumn<int>("workers");
    for (const int bits : {022, 077, 0, 027}) {
        for (const int workers : {0, 2}) {
            const QByteArray umaskName = "umask " + QByteArray::number(bits, 8).rightJustified(3, '0');
            const QByteArray workerName = workers ? ", workers" : ", one thread";
            QTest::newRow(QByteArray(umaskName + workerName).constData()) << bits << false << false << workers;
            QTest::newRow(QByteArray(umaskName + ", default ACL" + workerName).constData())
                << bits << true << false << workers;
            QTest::newRow(QByteArray(umaskName + ", merged into a default ACL" + workerName).constData())
                << bits << false << true << workers;
        }
    }
}

void TestEngineCopyModes::modesAndTimesKept()
{
    QFETCH(int, umaskBits);
    QFETCH(bool, defaultAcl);
    QFETCH(bool, mergedAcl);
    QFETCH(int, workers);
    QTemporaryDir dir;
    const QByteArray root = bytes(dir.path());
    makeFiles(root + "/tree");
    QVERIFY(makeDirs(root + "/tree/inner"));
    makeFiles(root + "/tree/inner");
    QVERIFY(makeDirs(root + "/dest"));
    if (defaultAcl && !setOwnerOnlyDefaultAcl(root + "/dest"))
        QSKIP("this file system keeps no ACLs");
    if (mergedAcl && !(makeDirs(root + "/dest/tree") && setOwnerOnlyDefaultAcl(root + "/dest/tree")))
        QSKIP("this file system keeps no ACLs");

    const mode_t previous = umask(mode_t(umaskBits));
    auto restore = qScopeGuard([previous] { umask(previous); });
    EngineTestSettings settings;
    settings.workers = workers;
    ScriptedEngineQuestions questions;
    // A tree, and a single file beside it.
    QCOMPARE(runSync(copyRecord(text(root + "/tree"), text(root + "/dest")), questions, nullptr, settings).status,
             FileOpResult::Status::Done);
    QCOMPARE(runSync(copyRecord(text(root + "/tree/m640"), text(root + "/dest")), questions, nullptr, settings).status,
             FileOpResult::Status::Done);
    compareFiles(root + "/tree", root + "/dest/tree");
    compareFiles(root + "/tree/inner", root + "/dest/tree/inner");
    QCOMPARE(statOf(root + "/dest/m640").st_mode & 07777, mode_t(0640));
    QVERIFY(questions.errorQuestions.isEmpty());
}

QTEST_GUILESS_MAIN(TestEngineCopyModes)
#include "tst_engine_copy_modes.moc"
