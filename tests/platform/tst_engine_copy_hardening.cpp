// Copies under races, kills, aliases and odd files: what may never be lost or exposed.
#include "platform/engine/file_op_engine.h"
#include "platform/engine/fs_util.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

using namespace EngineTestFiles;

namespace {

// Runs the record on this thread with the engine's test hook set.
FileOpResult runHooked(const FileOpRecord &record, EngineQuestions &questions, FileOpEngine::TestHook hook,
                       const std::atomic_bool *cancel = nullptr, qint64 chunkBytes = 0)
{
    FileOpParams params;
    QString error;
    if (!FileOpParams::fromRecord(record, &params, &error))
        return FileOpResult {FileOpResult::Status::Failed, error, {}};
    static const std::atomic_bool never {false};
    FileOpEngine engine(questions, cancel ? *cancel : never);
    engine.setTestHook(std::move(hook));
    if (chunkBytes > 0)
        engine.setChunkDelayForTesting(chunkBytes, 1);
    return engine.run(params);
}

void writeAt(const QByteArray &path, off_t offset, const QByteArray &data)
{
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(pwrite(fd, data.constData(), size_t(data.size()), offset), ssize_t(data.size()));
    close(fd);
}

// Mounts a small tmpfs at path (root only); false when that cannot be done here.
bool mountTmpfs(const QByteArray &path, const char *options)
{
    return geteuid() == 0 && makeDirs(path) && mount("tmpfs", path.constData(), "tmpfs", 0, options) == 0;
}

} // namespace

class TestEngineCopyHardening : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    // A file has its final name only once it is complete.
    void failedCopyKeepsFileSavedUnderFinalName();
    void killedCopyThenRerunEqualsOneCopy();
    // Nothing is followed after it was checked.
    void folderSwappedForLinkRedirectsNothing();
    void fifoSwappedInAfterCheckDoesNotHang();
    void copyIntoBindMountAliasIsRefused();
    void setIdBitsOnlyWithSameOwner();
    // Contents.
    void sparseFileKeepsItsHoles();
    void fileLongerThanItsSizeIsCopiedToItsEnd();
    // Replacing and failing.
    void replacedFileGoesToTheTrash();
    void targetErrorNamesTheTarget();
    void crossVolumeMoveKeepsOwnerAttributesAndLinks();

private:
    QTemporaryDir m_dataHome; // replaced files go to this trash, not the user's
};

void TestEngineCopyHardening::initTestCase()
{
    QVERIFY(m_dataHome.isValid());
    qputenv("XDG_DATA_HOME", bytes(m_dataHome.path()));
}

void TestEngineCopyHardening::failedCopyKeepsFileSavedUnderFinalName()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    makeBigFile(root + "/f", 1024 * 1024);
    QVERIFY(makeDirs(root + "/D"));

    // Another program saves its document under the name while we copy; then we are cancelled.
    std::atomic_bool cancel {false};
    ScriptedEngineQuestions questions;
    const FileOpResult cancelled = runHooked(
        copyRecord(text(root + "/f"), text(root + "/D")), questions,
        [&](const char *point, const QByteArray &) {
            if (strcmp(point, "chunk-copied") != 0 || cancel)
                return;
            QVERIFY(writeFile(root + "/D/.t", "doc"));
            QVERIFY(rename(QByteArray(root + "/D/.t").constData(), QByteArray(root + "/D/f").constData()) == 0);
            cancel = true;
        },
        &cancel, 64 * 1024);
    QCOMPARE(cancelled.status, FileOpResult::Status::Cancelled);
    QCOMPARE(readFile(root + "/D/f"), QByteArray("doc"));
    QCOMPARE(listTree(root + "/D"), QStringList {QStringLiteral("f")});

    // The name taken just before ours would be given: asked about, not replaced.
    QVERIFY(unlink(QByteArray(root + "/D/f").constData()) == 0);
    ScriptedEngineQuestions asked;
    asked.defaultOverwrite = OverwriteAnswer::Skip;
    const FileOpResult raced = runHooked(copyRecord(text(root + "/f"), text(root + "/D")), asked,
                                         [&](const char *point, const QByteArray &path) {
                                             if (strcmp(point, "file-written") == 0 && !exists(path))
                                                 QVERIFY(writeFile(path, "doc"));
                                         });
    QCOMPARE(raced.status, FileOpResult::Status::Skipped);
    QCOMPARE(asked.overwriteQuestions.size(), 1);
    QCOMPARE(readFile(root + "/D/f"), QByteArray("doc"));
    QVERIFY(!hasTemporaries(root + "/D"));
}

void TestEngineCopyHardening::killedCopyThenRerunEqualsOneCopy()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/src/sub"));
    QVERIFY(writeFile(root + "/src/a.txt", "a"));
    makeBigFile(root + "/src/sub/big.bin", 1024 * 1024);
    QVERIFY(chmod(QByteArray(root + "/src/sub").constData(), 0751) == 0);
    QVERIFY(chmod(QByteArray(root + "/src").constData(), 0705) == 0);
    const struct timespec old[2] = {{1000000000, 0}, {1222333444, 0}};
    QVERIFY(utimensat(AT_FDCWD, QByteArray(root + "/src/sub").constData(), old, 0) == 0);

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ScriptedEngineQuestions questions;
        runHooked(
            copyRecord(text(root + "/src"), text(root + "/dst")), questions,
            [](const char *point, const QByteArray &) {
                if (strcmp(point, "chunk-copied") == 0)
                    raise(SIGKILL);
            },
            nullptr, 64 * 1024);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    QVERIFY(WIFSIGNALED(status));
    QVERIFY2(!exists(root + "/dst/src/sub/big.bin"), "no truncated file under the final name");

    ScriptedEngineQuestions rerun;
    rerun.defaultOverwrite = OverwriteAnswer::Skip;
    QVERIFY(runHooked(copyRecord(text(root + "/src"), text(root + "/dst")), rerun, {}).status
            != FileOpResult::Status::Failed);
    QCOMPARE(listTree(root + "/dst/src"), listTree(root + "/src"));
    QCOMPARE(readFile(root + "/dst/src/sub/big.bin"), readFile(root + "/src/sub/big.bin"));
    for (const char *folder : {"", "/sub"}) {
        const struct stat copy = statOf(root + "/dst/src" + folder);
        const struct stat source = statOf(root + "/src" + folder);
        QCOMPARE(copy.st_mode & 07777, source.st_mode & 07777);
        QCOMPARE(qint64(copy.st_mtim.tv_sec), qint64(source.st_mtim.tv_sec));
    }

    // A folder the user had before keeps its own mode, as with cp.
    QVERIFY(makeDirs(root + "/mine/src"));
    QVERIFY(chmod(QByteArray(root + "/mine/src").constData(), 0700) == 0);
    ScriptedEngineQuestions merge;
    QCOMPARE(runHooked(copyRecord(text(root + "/src"), text(root + "/mine")), merge, {}).status,
             FileOpResult::Status::Done);
    QCOMPARE(statOf(root + "/mine/src").st_mode & 07777, mode_t(0700));
}

void TestEngineCopyHardening::folderSwappedForLinkRedirectsNothing()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/src/sub"));
    QVERIFY(writeFile(root + "/src/sub/f", "data"));
    QVERIFY(chmod(QByteArray(root + "/src/sub").constData(), 0777) == 0);
    QVERIFY(makeDirs(root + "/victim"));
    QVERIFY(chmod(QByteArray(root + "/victim").constData(), 0700) == 0);

    ScriptedEngineQuestions questions;
    const FileOpResult result = runHooked(
        copyRecord(text(root + "/src"), text(root + "/dst")), questions,
        [&](const char *point, const QByteArray &path) {
            if (strcmp(point, "folder-created") != 0 || !path.endsWith("/sub"))
                return;
            QVERIFY(rename(path.constData(), QByteArray(root + "/moved").constData()) == 0);
            QVERIFY(symlink(QByteArray(root + "/victim").constData(), path.constData()) == 0);
        });
    QCOMPARE(result.status, FileOpResult::Status::Done);
    QCOMPARE(statOf(root + "/victim").st_mode & 07777, mode_t(0700));
    QCOMPARE(listTree(root + "/victim"), QStringList());
    QCOMPARE(statOf(root + "/moved").st_mode & 07777, mode_t(0777));
    QCOMPARE(readFile(root + "/moved/f"), QByteArray("data"));
}

void TestEngineCopyHardening::fifoSwappedInAfterCheckDoesNotHang()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/src"));
    QVERIFY(writeFile(root + "/src/f", "file"));
    const QByteArray fifo = root + "/src/f";

    // Should the copy wait for a writer, this one ends the wait so that the test reports instead of hanging.
    std::atomic_bool done {false};
    std::atomic_bool hung {false};
    std::thread watchdog([&] {
        for (int i = 0; i < 300 && !done; ++i)
            usleep(10000);
        if (done)
            return;
        hung = true;
        const int fd = open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
    });
    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    const FileOpResult result = runHooked(copyRecord(text(root + "/src"), text(root + "/dst")), questions,
                                          [&](const char *point, const QByteArray &path) {
                                              if (strcmp(point, "source-checked") == 0 && path == fifo) {
                                                  unlink(fifo.constData());
                                                  mkfifo(fifo.constData(), 0644);
                                              }
                                          });
    done = true;
    watchdog.join();
    QVERIFY(!hung);
    QCOMPARE(result.status, FileOpResult::Status::Skipped);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QCOMPARE(questions.errorQuestions.first().path, text(fifo));
    QVERIFY(!exists(root + "/dst/src/f"));
}

void TestEngineCopyHardening::copyIntoBindMountAliasIsRefused()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/a/d"));
    QVERIFY(writeFile(root + "/a/d/f", "f"));
    QVERIFY(makeDirs(root + "/alias"));
    if (geteuid() != 0
        || mount(QByteArray(root + "/a").constData(), QByteArray(root + "/alias").constData(), nullptr, MS_BIND,
                 nullptr)
            != 0)
        QSKIP("needs root to bind-mount a folder");
    auto unmount = qScopeGuard([&] { umount2(QByteArray(root + "/alias").constData(), MNT_DETACH); });

    for (const QByteArray &into : {QByteArray("/alias/d/sub"), QByteArray("/alias/d")}) {
        ScriptedEngineQuestions questions;
        const FileOpResult result = runHooked(copyRecord(text(root + "/a/d"), text(root + into)), questions, {});
        QCOMPARE(result.status, FileOpResult::Status::Failed);
        QCOMPARE(questions.errorQuestions.size(), 1);
        QVERIFY(!questions.errorQuestions.first().canSkip);
        QCOMPARE(listTree(root + "/a"), QStringList({QStringLiteral("d"), QStringLiteral("d/f")}));
    }
}

void TestEngineCopyHardening::setIdBitsOnlyWithSameOwner()
{
    if (geteuid() != 0)
        QSKIP("needs root to give the source another owner");
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(writeFile(root + "/theirs", "#!/bin/sh\n"));
    QVERIFY(writeFile(root + "/ours", "#!/bin/sh\n"));
    QVERIFY(chown(QByteArray(root + "/theirs").constData(), 1000, 1000) == 0);
    QVERIFY(chmod(QByteArray(root + "/theirs").constData(), 06755) == 0);
    QVERIFY(chmod(QByteArray(root + "/ours").constData(), 06755) == 0);
    for (const char *name : {"/theirs", "/ours"}) {
        ScriptedEngineQuestions questions;
        QCOMPARE(runHooked(copyRecord(text(root + name), text(root + "/dst")), questions, {}).status,
                 FileOpResult::Status::Done);
    }
    QCOMPARE(statOf(root + "/dst/theirs").st_mode & 07777, mode_t(0755)); // now root's: no setuid-root program
    QCOMPARE(statOf(root + "/dst/ours").st_mode & 07777, mode_t(06755));
}

void TestEngineCopyHardening::sparseFileKeepsItsHoles()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    const qint64 size = 256LL * 1024 * 1024;
    const QByteArray block(4096, 'x');
    for (const qint64 at : {qint64(0), size / 2, size - 4096})
        writeAt(root + "/image", off_t(at), block);
    if (qint64(statOf(root + "/image").st_blocks) * 512 >= size)
        QSKIP("this file system does not keep holes");

    // As root into a 16 MiB volume: the space check counts only the data.
    QByteArray into = root + "/dst";
    auto unmount = qScopeGuard([&] { umount2(QByteArray(root + "/small").constData(), MNT_DETACH); });
    if (mountTmpfs(root + "/small", "size=16m"))
        into = root + "/small";
    ScriptedEngineQuestions questions;
    QCOMPARE(runHooked(copyRecord(text(root + "/image"), text(into)), questions, {}).status,
             FileOpResult::Status::Done);
    const struct stat copy = statOf(into + "/image");
    QCOMPARE(qint64(copy.st_size), size);
    QVERIFY2(qint64(copy.st_blocks) * 512 <= 1024 * 1024, "the holes stay holes");
    const QByteArray content = readFile(into + "/image");
    QCOMPARE(content.mid(size / 2, 4096), block);
    QCOMPARE(content.right(4096), block);
    QCOMPARE(content.mid(4096, 4096), QByteArray(4096, '\0'));
}

void TestEngineCopyHardening::fileLongerThanItsSizeIsCopiedToItsEnd()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    // st_size says 0, yet it has content.
    ScriptedEngineQuestions questions;
    QCOMPARE(runHooked(copyRecord(QStringLiteral("/proc/version"), text(root + "/proc")), questions, {}).status,
             FileOpResult::Status::Done);
    QVERIFY(!readFile(root + "/proc/version").isEmpty());
    QCOMPARE(readFile(root + "/proc/version"), readFile("/proc/version"));

    // A log that grows while it is copied is copied to its end, as cp does.
    makeBigFile(root + "/log", 256 * 1024);
    bool grown = false;
    ScriptedEngineQuestions growing;
    QCOMPARE(runHooked(
                 copyRecord(text(root + "/log"), text(root + "/out")), growing,
                 [&](const char *point, const QByteArray &) {
                     if (strcmp(point, "chunk-copied") == 0 && !grown) {
                         grown = true;
                         writeAt(root + "/log", 256 * 1024, "one more line\n");
                     }
                 },
                 nullptr, 64 * 1024)
                 .status,
             FileOpResult::Status::Done);
    QCOMPARE(readFile(root + "/out/log"), readFile(root + "/log"));
}

void TestEngineCopyHardening::replacedFileGoesToTheTrash()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/dst"));
    QVERIFY(writeFile(root + "/a.txt", "new"));
    QVERIFY(writeFile(root + "/dst/a.txt", "old"));
    const QByteArray trash = bytes(m_dataHome.path()) + "/Trash";

    ScriptedEngineQuestions questions;
    questions.defaultOverwrite = OverwriteAnswer::Overwrite;
    QCOMPARE(runHooked(copyRecord(text(root + "/a.txt"), text(root + "/dst")), questions, {}).status,
             FileOpResult::Status::Done);
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("new"));
    QCOMPARE(readFile(trash + "/files/a.txt"), QByteArray("old"));
    QVERIFY(readFile(trash + "/info/a.txt.trashinfo").contains(QByteArray("Path=" + root + "/dst/a.txt")));

    // No trash can take it: asked, and on skip the old file stays.
    QVERIFY(writeFile(root + "/a.txt", "newer"));
    const QByteArray blocked = root + "/not-a-folder";
    QVERIFY(writeFile(blocked, "x"));
    qputenv("XDG_DATA_HOME", blocked);
    auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", bytes(m_dataHome.path())); });
    ScriptedEngineQuestions noTrash;
    noTrash.defaultOverwrite = OverwriteAnswer::Overwrite;
    noTrash.defaultError = ErrorAnswer::Skip;
    QCOMPARE(runHooked(copyRecord(text(root + "/a.txt"), text(root + "/dst")), noTrash, {}).status,
             FileOpResult::Status::Skipped);
    QCOMPARE(noTrash.errorQuestions.size(), 1);
    QCOMPARE(noTrash.errorQuestions.first().path, text(root + "/dst/a.txt"));
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("new"));
    QVERIFY(!hasTemporaries(root + "/dst"));
}

void TestEngineCopyHardening::targetErrorNamesTheTarget()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/src"));
    QVERIFY(writeFile(root + "/src/f", "f"));
    if (!mountTmpfs(root + "/ro", "size=1m,mode=0777"))
        QSKIP("needs root to mount a read-only volume");
    auto unmount = qScopeGuard([&] { umount2(QByteArray(root + "/ro").constData(), MNT_DETACH); });
    QVERIFY(makeDirs(root + "/ro/src"));
    QVERIFY(mount(nullptr, QByteArray(root + "/ro").constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);

    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    QCOMPARE(runHooked(copyRecord(text(root + "/src"), text(root + "/ro")), questions, {}).status,
             FileOpResult::Status::Skipped);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QCOMPARE(questions.errorQuestions.first().errorCode, EROFS);
    QCOMPARE(questions.errorQuestions.first().path, text(root + "/ro/src/f"));
}

void TestEngineCopyHardening::crossVolumeMoveKeepsOwnerAttributesAndLinks()
{
    QTemporaryDir disk;
    QTemporaryDir shm(QStringLiteral("/dev/shm/korvan-test-XXXXXX"));
    if (!shm.isValid() || statOf(bytes(disk.path())).st_dev == statOf(bytes(shm.path())).st_dev)
        QSKIP("needs /dev/shm as a second volume");
    const QByteArray src = bytes(disk.path()) + "/tree";
    QVERIFY(makeDirs(src + "/sub"));
    makeBigFile(src + "/one", 1024 * 1024);
    QVERIFY(link(QByteArray(src + "/one").constData(), QByteArray(src + "/sub/two").constData()) == 0);
    QVERIFY(link(QByteArray(src + "/one").constData(), QByteArray(src + "/three").constData()) == 0);
    if (setxattr(QByteArray(src + "/one").constData(), "user.origin", "camera", 6, 0) != 0
        || setxattr(QByteArray(src + "/sub").constData(), "user.origin", "folder", 6, 0) != 0)
        QSKIP("this volume keeps no user extended attributes");
    const bool root = geteuid() == 0;
    if (root)
        QVERIFY(lchown(QByteArray(src + "/sub").constData(), 1000, 1000) == 0
                && lchown(QByteArray(src + "/one").constData(), 1000, 1000) == 0);

    ScriptedEngineQuestions questions;
    const QByteArray dst = bytes(shm.path()) + "/tree";
    QCOMPARE(runHooked(moveRecord(text(src), text(bytes(shm.path()))), questions, {}).status,
             FileOpResult::Status::Done);
    QVERIFY(!exists(src));
    const struct stat one = statOf(dst + "/one");
    QCOMPARE(qint64(one.st_nlink), qint64(3));
    QCOMPARE(statOf(dst + "/sub/two").st_ino, one.st_ino);
    QCOMPARE(statOf(dst + "/three").st_ino, one.st_ino);
    char value[16] = {};
    QCOMPARE(getxattr(QByteArray(dst + "/one").constData(), "user.origin", value, sizeof value), ssize_t(6));
    QCOMPARE(QByteArray(value), QByteArray("camera"));
    QCOMPARE(getxattr(QByteArray(dst + "/sub").constData(), "user.origin", value, sizeof value), ssize_t(6));
    if (root) {
        QCOMPARE(statOf(dst + "/one").st_uid, uid_t(1000));
        QCOMPARE(statOf(dst + "/sub").st_gid, gid_t(1000));
    }

    // A volume that keeps no extended attributes: the move goes on and says so.
    const QByteArray plain = bytes(disk.path()) + "/plain";
    QVERIFY(makeDirs(plain));
    if (!root || mount("ramfs", plain.constData(), "ramfs", 0, nullptr) != 0)
        return;
    auto unmount = qScopeGuard([&] { umount2(plain.constData(), MNT_DETACH); });
    ScriptedEngineQuestions onPlain;
    const FileOpResult noted = runHooked(moveRecord(text(dst + "/one"), text(plain)), onPlain, {});
    QCOMPARE(noted.status, FileOpResult::Status::Done);
    QCOMPARE(readFile(plain + "/one").size(), 1024 * 1024);
    QCOMPARE(noted.notes.size(), 1);
    QVERIFY(noted.notes.first().contains(QStringLiteral("扩展属性")));
}

QTEST_GUILESS_MAIN(TestEngineCopyHardening)
#include "tst_engine_copy_hardening.moc"
