// "Done" means stored: every volume written to is flushed before an
// operation returns, a move removes no source before its copy is flushed,
// and a big file never has much more written than stored.
#include "engine_move_fixture.h"
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"

#include <QDir>
#include <QSet>

#include <linux/magic.h>
#include <sys/syscall.h>
#include <sys/vfs.h>

namespace {

const std::atomic_bool never {false};

FileOpResult runWithHook(const FileOpRecord &record, EngineTestSettings::Hook hook)
{
    FileOpParams params;
    QString error;
    if (!FileOpParams::fromRecord(record, &params, &error))
        return FileOpResult {FileOpResult::Status::Failed, error, {}};
    ScriptedEngineQuestions questions;
    FileOpEngine engine(questions, never);
    EngineTestSettings settings;
    settings.hook = std::move(hook);
    engine.setTestSettings(settings);
    return engine.run(params);
}

int countFiles(const QByteArray &dir)
{
    int files = 0;
    for (const QString &entry : listTree(dir))
        files += S_ISREG(statOf(dir + '/' + bytes(entry)).st_mode) ? 1 : 0;
    return files;
}

// Pages of fd's file that are written but not yet stored (dirty or being
// written back), or -1 where the kernel cannot tell (cachestat, Linux 6.5).
#if !defined(__NR_cachestat) && (defined(__x86_64__) || defined(__aarch64__))
#define __NR_cachestat 451 // the same number on every architecture that has it
#endif

qint64 unstoredBytes(int fd)
{
#ifdef __NR_cachestat
    struct Range
    {
        quint64 offset, length;
    } range {0, 0};
    struct Stat
    {
        quint64 cached, dirty, writeback, evicted, recentlyEvicted;
    } counts {};
    if (syscall(__NR_cachestat, fd, &range, &counts, 0) == 0)
        return qint64(counts.dirty + counts.writeback) * sysconf(_SC_PAGESIZE);
#else
    Q_UNUSED(fd);
#endif
    return -1;
}

// The descriptor of the unnamed file the engine is writing in dir.
int unnamedFileIn(const QByteArray &dir)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &entry : fds.entryList(QDir::Files | QDir::System)) {
        const QByteArray target = QFile::symLinkTarget(fds.filePath(entry)).toLocal8Bit();
        if (target.startsWith(QByteArray(dir + "/#")))
            return entry.toInt();
    }
    return -1;
}

} // namespace

class TestEngineDurable : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void init() { setUpVolumes(); }
    void cleanup() { tearDownVolumes(); }

    void copyFlushesEveryTargetVolumeOnceBeforeItReturns();
    void crossVolumeMoveFlushesBeforeAnySourceGoes();
    void bigFileHasLittleMoreWrittenThanStored();
};

void TestEngineDurable::copyFlushesEveryTargetVolumeOnceBeforeItReturns()
{
    // The target holds a mount point: the copy writes on two volumes.
    const QByteArray disk = bytes(m_disk->path());
    makeTree(disk + "/tree");
    QVERIFY(makeDirs(disk + "/tree/mounted"));
    for (int i = 0; i < 50; ++i)
        writeFile(disk + "/tree/mounted/f" + QByteArray::number(i), "small file");
    const QByteArray mounted = mountSmallVolume(disk + "/dest/tree/mounted", "8m");
    if (mounted.isEmpty())
        QSKIP("needs root to mount a second volume inside the target");
    auto unmount = qScopeGuard([&] { umount2(mounted.constData(), MNT_DETACH); });

    QList<dev_t> flushed;
    QList<int> filesAtFlush;
    const FileOpResult result = runWithHook(copyRecord(text(disk + "/tree"), text(disk + "/dest")),
                                            [&](const char *point, const QByteArray &path) {
                                                if (strcmp(point, "volume-flushed") != 0)
                                                    return;
                                                flushed.append(statOf(path).st_dev);
                                                filesAtFlush.append(countFiles(disk + "/dest/tree"));
                                            });
    QCOMPARE(result.status, FileOpResult::Status::Done);
    verifyTree(disk + "/dest/tree");

    // Once per volume, each after everything was written.
    const dev_t diskVolume = statOf(disk + "/dest").st_dev;
    const dev_t mountedVolume = statOf(mounted).st_dev;
    QCOMPARE(flushed.size(), 2);
    QCOMPARE(QSet<dev_t>(flushed.cbegin(), flushed.cend()), (QSet<dev_t> {diskVolume, mountedVolume}));
    const int copied = countFiles(disk + "/dest/tree");
    QCOMPARE(copied, countFiles(disk + "/tree"));
    QCOMPARE(filesAtFlush, (QList<int> {copied, copied}));
}

void TestEngineDurable::crossVolumeMoveFlushesBeforeAnySourceGoes()
{
    requireTwoVolumes();
    const QByteArray from = bytes(m_shm->path());
    const QByteArray to = bytes(m_disk->path());
    makeTree(from + "/tree");
    QVERIFY(makeDirs(from + "/tree/many"));
    for (int i = 0; i < 100; ++i)
        writeFile(from + "/tree/many/f" + QByteArray::number(i), QByteArray::number(i));
    const QStringList sourceBefore = listTree(from + "/tree");

    QList<dev_t> flushed;
    QList<QStringList> sourceAtFlush;
    const FileOpResult result = runWithHook(moveRecord(text(from + "/tree"), text(to + "/dest")),
                                            [&](const char *point, const QByteArray &path) {
                                                if (strcmp(point, "volume-flushed") == 0) {
                                                    flushed.append(statOf(path).st_dev);
                                                    sourceAtFlush.append(listTree(from + "/tree"));
                                                }
                                            });
    QCOMPARE(result.status, FileOpResult::Status::Done);
    verifyTree(to + "/dest/tree");
    QVERIFY(!exists(from + "/tree"));

    // The staged copy's volume was flushed while every source was still there.
    QVERIFY(!flushed.isEmpty());
    QCOMPARE(flushed.first(), statOf(to + "/dest").st_dev);
    QCOMPARE(sourceAtFlush.first(), sourceBefore);
}

void TestEngineDurable::bigFileHasLittleMoreWrittenThanStored()
{
    const QByteArray disk = bytes(m_disk->path());
    struct statfs fs;
    if (statfs(disk.constData(), &fs) != 0 || fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC)
        QSKIP("the temporary folder is in memory; write-back needs a disk");
    if (unstoredBytes(STDIN_FILENO) < 0 && errno == ENOSYS)
        QSKIP("this kernel cannot count a file's unstored pages (cachestat)");
    constexpr qint64 size = 320LL * 1024 * 1024;
    makeBigFile(disk + "/big.bin", size);
    QVERIFY(makeDirs(disk + "/dest"));

    qint64 most = 0;
    int samples = 0;
    const FileOpResult result
        = runWithHook(copyRecord(text(disk + "/big.bin"), text(disk + "/dest")), [&](const char *point, const QByteArray &) {
              if (strcmp(point, "chunk-copied") != 0)
                  return;
              const int fd = unnamedFileIn(disk + "/dest");
              if (fd < 0)
                  return; // copied in one piece (a clone): nothing unstored
              most = std::max(most, unstoredBytes(fd));
              ++samples;
          });
    QCOMPARE(result.status, FileOpResult::Status::Done);
    QCOMPARE(statOf(disk + "/dest/big.bin").st_size, off_t(size));
    qInfo("most written but not stored during the copy: %lld MiB over %d chunks", most >> 20, samples);
    QVERIFY2(most <= 64 * 1024 * 1024, QByteArray(QByteArray::number(most >> 20) + " MiB unstored").constData());

    // Done means stored: nothing of the copy is left to write.
    const int fd = open(QByteArray(disk + "/dest/big.bin").constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const qint64 left = unstoredBytes(fd);
    close(fd);
    QCOMPARE(left, qint64(0));
}

QTEST_GUILESS_MAIN(TestEngineDurable)
#include "tst_engine_durable.moc"
