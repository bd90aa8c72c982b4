// Copies under races, kills, aliases and odd files: what may never be lost or exposed.
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace EngineTestFiles;

namespace {

const std::atomic_bool never {false};

// Runs the record on this thread, with the engine's test hook.
FileOpResult run(const FileOpRecord &record, EngineQuestions &questions, EngineTestSettings::Hook hook = {},
                 const std::atomic_bool &cancel = never, qint64 chunkBytes = 0)
{
    FileOpParams params;
    QString error;
    if (!FileOpParams::fromRecord(record, &params, &error))
        return FileOpResult {FileOpResult::Status::Failed, error, {}};
    FileOpEngine engine(questions, cancel);
    engine.setTestSettings(chunkedSettings(chunkBytes, chunkBytes > 0 ? 1 : 0, std::move(hook)));
    return engine.run(params);
}

FileOpRecord copying(const QByteArray &from, const QByteArray &to)
{
    return copyRecord(text(from), text(to));
}

// A hook that acts once, at the first call of one point.
EngineTestSettings::Hook once(const char *point, std::function<void(const QByteArray &)> action)
{
    auto done = std::make_shared<bool>(false);
    return [=](const char *at, const QByteArray &path) {
        if (!*done && strcmp(at, point) == 0) {
            *done = true;
            action(path);
        }
    };
}

void writeAt(const QByteArray &path, off_t offset, const QByteArray &data)
{
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QCOMPARE(pwrite(fd, data.constData(), size_t(data.size()), offset), ssize_t(data.size()));
    close(fd);
}

bool mountAt(const QByteArray &path, const char *type, const char *options)
{
    return geteuid() == 0 && makeDirs(path) && mount(type, path.constData(), type, 0, options) == 0;
}

} // namespace

class TestEngineCopyHardening : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    // A file has its final name only once it is complete.
    void failedCopyKeepsFileSavedUnderFinalName();
    void killedCopyThenRerunEqualsOneCopy();
    // Nothing is followed after it was checked; aliases are the source.
    void folderSwappedForLinkRedirectsNothing();
    void fifoSwappedInAfterCheckDoesNotHang();
    void copyIntoBindMountAliasIsRefused();
    void setIdBitsOnlyWithSameOwner();
    // Contents.
    void sparseFileKeepsItsHoles();
    void fileLongerThanItsSizeIsCopiedToItsEnd();
    // Replacing, failing, moving.
    void replacedFileGoesToTheTrash();
    void targetErrorNamesTheTarget();
    void crossVolumeMoveKeepsOwnerAttributesAndLinks();

private:
    QTemporaryDir m_dataHome; // replaced files go to this trash, not the user's
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_root;
    QByteArray path(const char *relative) const { return m_root + relative; }
};

void TestEngineCopyHardening::initTestCase()
{
    qputenv("XDG_DATA_HOME", bytes(m_dataHome.path()));
}

void TestEngineCopyHardening::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_root = bytes(m_dir->path());
}

void TestEngineCopyHardening::failedCopyKeepsFileSavedUnderFinalName()
{
    makeBigFile(m_root + "/f", 1024 * 1024);
    QVERIFY(makeDirs(m_root + "/D"));
    // Another program saves its document under the name while we copy; then we are cancelled.
    std::atomic_bool cancel {false};
    ScriptedEngineQuestions questions;
    const auto saveDocument = once("chunk-copied", [&](const QByteArray &) {
        QVERIFY(writeFile(m_root + "/D/.t", "doc"));
        QVERIFY(rename(path("/D/.t").constData(), path("/D/f").constData()) == 0);
        cancel = true;
    });
    QCOMPARE(run(copying(m_root + "/f", m_root + "/D"), questions, saveDocument, cancel, 64 * 1024).status,
             FileOpResult::Status::Cancelled);
    QCOMPARE(readFile(m_root + "/D/f"), QByteArray("doc"));
    QCOMPARE(listTree(m_root + "/D"), QStringList {QStringLiteral("f")});

    // The name taken just before ours would be given: asked about, not replaced.
    QVERIFY(unlink(path("/D/f").constData()) == 0);
    ScriptedEngineQuestions asked;
    asked.defaultOverwrite = OverwriteAnswer::Skip;
    const auto takeName = once("file-written", [](const QByteArray &path) { QVERIFY(writeFile(path, "doc")); });
    QCOMPARE(run(copying(m_root + "/f", m_root + "/D"), asked, takeName).status, FileOpResult::Status::Skipped);
    QCOMPARE(asked.overwriteQuestions.size(), 1);
    QCOMPARE(readFile(m_root + "/D/f"), QByteArray("doc"));
    QVERIFY(!hasTemporaries(m_root + "/D"));
}

void TestEngineCopyHardening::killedCopyThenRerunEqualsOneCopy()
{
    QVERIFY(makeDirs(m_root + "/src/sub"));
    QVERIFY(writeFile(m_root + "/src/a.txt", "a"));
    makeBigFile(m_root + "/src/sub/big.bin", 1024 * 1024);
    QVERIFY(chmod(path("/src/sub").constData(), 0751) == 0 && chmod(path("/src").constData(), 0705) == 0);
    const struct timespec old[2] = {{1000000000, 0}, {1222333444, 0}};
    QVERIFY(utimensat(AT_FDCWD, path("/src/sub").constData(), old, 0) == 0);
    const pid_t child = fork();
    if (child == 0) {
        ScriptedEngineQuestions questions;
        run(copying(m_root + "/src", m_root + "/dst"), questions, once("chunk-copied", [](auto) { raise(SIGKILL); }),
            never, 64 * 1024);
        _exit(0);
    }
    int status = 0;
    QVERIFY(waitpid(child, &status, 0) == child && WIFSIGNALED(status));
    QVERIFY2(!exists(m_root + "/dst/src/sub/big.bin"), "no truncated file under the final name");

    ScriptedEngineQuestions rerun;
    rerun.defaultOverwrite = OverwriteAnswer::Skip;
    QVERIFY(run(copying(m_root + "/src", m_root + "/dst"), rerun).status != FileOpResult::Status::Failed);
    QCOMPARE(listTree(m_root + "/dst/src"), listTree(m_root + "/src"));
    QCOMPARE(readFile(m_root + "/dst/src/sub/big.bin"), readFile(m_root + "/src/sub/big.bin"));
    for (const char *folder : {"", "/sub"}) {
        QCOMPARE(statOf(m_root + "/dst/src" + folder).st_mode, statOf(m_root + "/src" + folder).st_mode);
        QCOMPARE(statOf(m_root + "/dst/src" + folder).st_mtim.tv_sec, statOf(m_root + "/src" + folder).st_mtim.tv_sec);
    }
    // A folder the user had before keeps its own mode, as with cp.
    QVERIFY(makeDirs(m_root + "/mine/src") && chmod(path("/mine/src").constData(), 0700) == 0);
    QCOMPARE(run(copying(m_root + "/src", m_root + "/mine"), rerun).status, FileOpResult::Status::Done);
    QCOMPARE(statOf(m_root + "/mine/src").st_mode & 07777, mode_t(0700));
}

void TestEngineCopyHardening::folderSwappedForLinkRedirectsNothing()
{
    QVERIFY(makeDirs(m_root + "/src/sub") && makeDirs(m_root + "/victim"));
    QVERIFY(writeFile(m_root + "/src/sub/f", "data"));
    QVERIFY(chmod(path("/src/sub").constData(), 0777) == 0 && chmod(path("/victim").constData(), 0700) == 0);
    ScriptedEngineQuestions questions;
    const auto swap = [&](const char *point, const QByteArray &folder) {
        if (strcmp(point, "folder-created") == 0 && folder.endsWith("/sub")) {
            QVERIFY(rename(folder.constData(), path("/moved").constData()) == 0);
            QVERIFY(symlink(path("/victim").constData(), folder.constData()) == 0);
        }
    };
    QCOMPARE(run(copying(m_root + "/src", m_root + "/dst"), questions, swap).status, FileOpResult::Status::Done);
    QCOMPARE(statOf(m_root + "/victim").st_mode & 07777, mode_t(0700));
    QCOMPARE(listTree(m_root + "/victim"), QStringList());
    QCOMPARE(statOf(m_root + "/moved").st_mode & 07777, mode_t(0777));
    QCOMPARE(readFile(m_root + "/moved/f"), QByteArray("data"));
}

void TestEngineCopyHardening::fifoSwappedInAfterCheckDoesNotHang()
{
    QVERIFY(makeDirs(m_root + "/src"));
    QVERIFY(writeFile(m_root + "/src/f", "file"));
    // Should the copy wait for a writer, the alarm breaks the wait (EINTR) and the test reports it.
    struct sigaction wake = {};
    wake.sa_handler = [](int) {};
    sigaction(SIGALRM, &wake, nullptr);
    alarm(3);
    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    const auto makeFifo = once("source-checked", [](const QByteArray &path) {
        QVERIFY(unlink(path.constData()) == 0 && mkfifo(path.constData(), 0644) == 0);
    });
    const FileOpResult result = run(copying(m_root + "/src", m_root + "/dst"), questions, makeFifo);
    QVERIFY2(alarm(0) > 0, "the copy waited for a writer");
    QCOMPARE(result.status, FileOpResult::Status::Skipped);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QCOMPARE(questions.errorQuestions.first().path, text(m_root + "/src/f"));
    QVERIFY(!exists(m_root + "/dst/src/f"));
}

void TestEngineCopyHardening::copyIntoBindMountAliasIsRefused()
{
    QVERIFY(makeDirs(m_root + "/a/d") && makeDirs(m_root + "/alias"));
    if (geteuid() != 0 || mount(path("/a").constData(), path("/alias").constData(), nullptr, MS_BIND, nullptr))
        QSKIP("needs root to bind-mount a folder");
    auto unmount = qScopeGuard([&] { umount2(path("/alias").constData(), MNT_DETACH); });
    for (const char *into : {"/alias/d/sub", "/alias/d"}) {
        ScriptedEngineQuestions questions;
        QCOMPARE(run(copying(m_root + "/a/d", m_root + into), questions).status, FileOpResult::Status::Failed);
        QVERIFY(!questions.errorQuestions.first().canSkip);
        QCOMPARE(listTree(m_root + "/a"), QStringList {QStringLiteral("d")});
    }
}

void TestEngineCopyHardening::setIdBitsOnlyWithSameOwner()
{
    if (geteuid() != 0)
        QSKIP("needs root to give the source another owner");
    for (const char *name : {"/theirs", "/ours"}) {
        QVERIFY(writeFile(m_root + name, "#!/bin/sh\n"));
        QVERIFY(chown(path(name).constData(), name[1] == 't' ? 1000 : 0, name[1] == 't' ? 1000 : 0) == 0);
        QVERIFY(chmod(path(name).constData(), 06755) == 0);
        ScriptedEngineQuestions questions;
        QCOMPARE(run(copying(m_root + name, m_root + "/dst"), questions).status, FileOpResult::Status::Done);
    }
    QCOMPARE(statOf(m_root + "/dst/theirs").st_mode & 07777, mode_t(0755)); // root's now: not setuid-root
    QCOMPARE(statOf(m_root + "/dst/ours").st_mode & 07777, mode_t(06755));
}

void TestEngineCopyHardening::sparseFileKeepsItsHoles()
{
    const qint64 size = 64LL * 1024 * 1024; // four times the small volume below
    const QByteArray block(4096, 'x');
    for (const qint64 at : {qint64(0), size / 2, size - 4096})
        writeAt(m_root + "/image", off_t(at), block);
    if (qint64(statOf(m_root + "/image").st_blocks) * 512 >= size)
        QSKIP("this file system does not keep holes");
    // As root into a 16 MiB volume: the space check counts only the data.
    auto unmount = qScopeGuard([&] { umount2(path("/small").constData(), MNT_DETACH); });
    const QByteArray into = mountAt(m_root + "/small", "tmpfs", "size=16m") ? path("/small") : path("/dst");
    ScriptedEngineQuestions questions;
    QCOMPARE(run(copying(m_root + "/image", into), questions).status, FileOpResult::Status::Done);
    QCOMPARE(qint64(statOf(into + "/image").st_size), size);
    QVERIFY2(qint64(statOf(into + "/image").st_blocks) * 512 <= 1024 * 1024, "the holes stay holes");
    QCOMPARE(readFile(into + "/image"), readFile(m_root + "/image"));
}

void TestEngineCopyHardening::fileLongerThanItsSizeIsCopiedToItsEnd()
{
    ScriptedEngineQuestions questions; // st_size says 0, yet it has content
    QCOMPARE(run(copying("/proc/version", m_root + "/proc"), questions).status, FileOpResult::Status::Done);
    QVERIFY(!readFile(m_root + "/proc/version").isEmpty());
    QCOMPARE(readFile(m_root + "/proc/version"), readFile("/proc/version"));

    // A log that grows while it is copied is copied to its end, as cp does.
    makeBigFile(m_root + "/log", 256 * 1024);
    const auto grow = once("chunk-copied", [&](auto) { writeAt(m_root + "/log", 256 * 1024, "one more line\n"); });
    QCOMPARE(run(copying(m_root + "/log", m_root + "/out"), questions, grow, never, 64 * 1024).status,
             FileOpResult::Status::Done);
    QCOMPARE(readFile(m_root + "/out/log"), readFile(m_root + "/log"));
}

void TestEngineCopyHardening::replacedFileGoesToTheTrash()
{
    QVERIFY(makeDirs(m_root + "/dst"));
    QVERIFY(writeFile(m_root + "/a.txt", "new") && writeFile(m_root + "/dst/a.txt", "old"));
    const QByteArray trash = bytes(m_dataHome.path()) + "/Trash";
    ScriptedEngineQuestions questions;
    questions.defaultOverwrite = OverwriteAnswer::Overwrite;
    QCOMPARE(run(copying(m_root + "/a.txt", m_root + "/dst"), questions).status, FileOpResult::Status::Done);
    QCOMPARE(readFile(m_root + "/dst/a.txt"), QByteArray("new"));
    QCOMPARE(readFile(trash + "/files/a.txt"), QByteArray("old"));
    QVERIFY(readFile(trash + "/info/a.txt.trashinfo").contains(QByteArray("Path=" + m_root + "/dst/a.txt")));

    // No trash can take it: asked, and on skip the old file stays.
    QVERIFY(writeFile(m_root + "/a.txt", "newer") && writeFile(m_root + "/not-a-folder", "x"));
    qputenv("XDG_DATA_HOME", m_root + "/not-a-folder");
    auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", bytes(m_dataHome.path())); });
    questions.defaultError = ErrorAnswer::Skip;
    QCOMPARE(run(copying(m_root + "/a.txt", m_root + "/dst"), questions).status, FileOpResult::Status::Skipped);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QCOMPARE(questions.errorQuestions.first().path, text(m_root + "/dst/a.txt"));
    QCOMPARE(readFile(m_root + "/dst/a.txt"), QByteArray("new"));
    QVERIFY(!hasTemporaries(m_root + "/dst"));
}

void TestEngineCopyHardening::targetErrorNamesTheTarget()
{
    QVERIFY(makeDirs(m_root + "/src"));
    QVERIFY(writeFile(m_root + "/src/f", "f"));
    if (!mountAt(m_root + "/ro", "tmpfs", "size=1m"))
        QSKIP("needs root to mount a read-only volume");
    auto unmount = qScopeGuard([&] { umount2(path("/ro").constData(), MNT_DETACH); });
    QVERIFY(makeDirs(m_root + "/ro/src"));
    QVERIFY(mount(nullptr, path("/ro").constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);
    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    QCOMPARE(run(copying(m_root + "/src", m_root + "/ro"), questions).status, FileOpResult::Status::Skipped);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QCOMPARE(questions.errorQuestions.first().errorCode, EROFS);
    QCOMPARE(questions.errorQuestions.first().path, text(m_root + "/ro/src/f"));
}

void TestEngineCopyHardening::crossVolumeMoveKeepsOwnerAttributesAndLinks()
{
    QTemporaryDir shm(QStringLiteral("/dev/shm/korvan-test-XXXXXX"));
    if (!shm.isValid() || statOf(m_root).st_dev == statOf(bytes(shm.path())).st_dev)
        QSKIP("needs /dev/shm as a second volume");
    const QByteArray src = m_root + "/tree";
    const QByteArray dst = bytes(shm.path()) + "/tree";
    QVERIFY(makeDirs(src + "/sub"));
    makeBigFile(src + "/one", 1024 * 1024);
    QVERIFY(link(QByteArray(src + "/one").constData(), QByteArray(src + "/sub/two").constData()) == 0);
    QVERIFY(link(QByteArray(src + "/one").constData(), QByteArray(src + "/three").constData()) == 0);
    if (setxattr(QByteArray(src + "/one").constData(), "user.origin", "camera", 6, 0) != 0
        || setxattr(QByteArray(src + "/sub").constData(), "user.origin", "folder", 6, 0) != 0)
        QSKIP("this volume keeps no user extended attributes");
    const bool root = geteuid() == 0;
    QVERIFY(!root
            || (lchown(QByteArray(src + "/sub").constData(), 1000, 1000) == 0
                && lchown(QByteArray(src + "/one").constData(), 1000, 1000) == 0));

    ScriptedEngineQuestions questions;
    QCOMPARE(run(moveRecord(text(src), shm.path()), questions).status, FileOpResult::Status::Done);
    QVERIFY(!exists(src));
    QCOMPARE(qint64(statOf(dst + "/one").st_nlink), qint64(3)); // one file, not three
    QCOMPARE(statOf(dst + "/sub/two").st_ino, statOf(dst + "/one").st_ino);
    char value[16] = {};
    QCOMPARE(getxattr(QByteArray(dst + "/one").constData(), "user.origin", value, sizeof value), ssize_t(6));
    QCOMPARE(QByteArray(value), QByteArray("camera"));
    QCOMPARE(getxattr(QByteArray(dst + "/sub").constData(), "user.origin", value, sizeof value), ssize_t(6));
    QVERIFY(!root || (statOf(dst + "/one").st_uid == 1000 && statOf(dst + "/sub").st_gid == 1000));

    // A volume that keeps no extended attributes: the move goes on and says so.
    auto unmount = qScopeGuard([&] { umount2(path("/plain").constData(), MNT_DETACH); });
    if (!mountAt(m_root + "/plain", "ramfs", nullptr))
        return;
    const FileOpResult noted = run(moveRecord(text(dst + "/one"), text(m_root + "/plain")), questions);
    QCOMPARE(noted.status, FileOpResult::Status::Done);
    QCOMPARE(readFile(m_root + "/plain/one").size(), 1024 * 1024);
    QCOMPARE(noted.notes.size(), 1);
    QVERIFY(noted.notes.first().contains(QStringLiteral("扩展属性")));
}

QTEST_GUILESS_MAIN(TestEngineCopyHardening)
#include "tst_engine_copy_hardening.moc"
