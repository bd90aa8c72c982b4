// Cross-volume moves onto volumes that keep times coarser than the source
// (USB sticks with FAT, ext4 with 128-byte inodes): the move is done, and a
// source written to while it is copied is still kept.
#include "engine_move_fixture.h"
#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"

#include <QProcess>
#include <QScopeGuard>

#include <cstring>
#include <sys/mount.h>

namespace {

bool runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(program, arguments);
    return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

} // namespace

class TestEngineCoarseTimes : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpVolumes(); }
    void cleanupTestCase() { tearDownVolumes(); }
    void cleanup();
    void moveOntoCoarseVolumeIsDone_data();
    void moveOntoCoarseVolumeIsDone();
    void volumeThatLosesRenamedFoldersKeepsTheSources_data();
    void volumeThatLosesRenamedFoldersKeepsTheSources();
    void sourceWrittenDuringTheCopyIsKept_data();
    void sourceWrittenDuringTheCopyIsKept();

private:
    // Mounts a volume of the row's kind at m_mounted; else says why not.
    QString mountCoarseVolume();
    QByteArray m_mounted;
};

void TestEngineCoarseTimes::cleanup()
{
    if (!m_mounted.isEmpty())
        umount2(m_mounted.constData(), MNT_DETACH);
    m_mounted.clear();
    emptyVolumes();
}

QString TestEngineCoarseTimes::mountCoarseVolume()
{
    QFETCH(QString, kind);
    if (geteuid() != 0)
        return QStringLiteral("needs root to mount a volume image (loop device or FUSE)");
    const QByteArray image = bytes(m_disk->path()) + "/volume.img";
    const QByteArray where = bytes(m_disk->path()) + "/stick";
    if (!makeDirs(where) || !writeFile(image, QByteArray()) || truncate(image.constData(), 64 * 1024 * 1024) != 0)
        return QStringLiteral("cannot make the image file");
    const QString imagePath = text(image);
    const QString wherePath = text(where);
    if (kind == QLatin1String("ext4")) {
        if (!runTool(
                QStringLiteral("mkfs.ext4"),
                {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-I"), QStringLiteral("128"), imagePath}))
            return QStringLiteral("mkfs.ext4 is missing or failed");
        if (!runTool(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), imagePath, wherePath}))
            return QStringLiteral("cannot mount an image through a loop device here");
    } else {
        if (!runTool(QStringLiteral("mkfs.vfat"), {imagePath}))
            return QStringLiteral("mkfs.vfat (dosfstools) is missing or failed");
        if (!runTool(QStringLiteral("fusefat"), {QStringLiteral("-o"), QStringLiteral("rw+"), imagePath, wherePath}))
            return QStringLiteral("fusefat is missing or FUSE is not usable here");
    }
    m_mounted = where;
    return QString();
}

void TestEngineCoarseTimes::moveOntoCoarseVolumeIsDone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("ext4 with 128-byte inodes: seconds") << QStringLiteral("ext4");
    QTest::newRow("FAT through fusefat: two seconds") << QStringLiteral("fat");
}

void TestEngineCoarseTimes::moveOntoCoarseVolumeIsDone()
{
    if (const QString why = mountCoarseVolume(); !why.isEmpty())
        QSKIP(qPrintable(why));
    const QByteArray stick = m_mounted;
    const QByteArray from = bytes(m_shm->path());
    QVERIFY(makeDirs(from + "/photos/day"));
    QVERIFY(writeFile(from + "/photos/a.jpg", QByteArray(70000, 'a')));
    QVERIFY(writeFile(from + "/photos/day/b.jpg", "b"));
    makeBigFile(from + "/photos/day/c.mov", 5 * 1024 * 1024); // past what the copy workers take
    const struct timespec odd[2] = {{1600000001, 123456789}, {1600000001, 987654321}};
    for (const char *name : {"/photos/a.jpg", "/photos/day/b.jpg", "/photos/day/c.mov"})
        QVERIFY(utimensat(AT_FDCWD, QByteArray(from + name).constData(), odd, 0) == 0);

    ScriptedEngineQuestions questions;
    // fusefat empties a folder that is renamed (mv loses it too): files only there.
    const bool wholeFolder = QTest::currentDataTag() == QByteArray("ext4 with 128-byte inodes: seconds");
    const QByteArray into = wholeFolder ? stick : stick + "/photos";
    const QList<QByteArray> moved = wholeFolder ? QList<QByteArray> {"/photos"}
                                                : QList<QByteArray> {"/photos/a.jpg", "/photos/day/c.mov"};
    for (const QByteArray &item : moved) {
        QCOMPARE(runWithHook(moveRecord(text(from + item), text(into)), questions).status, FileOpResult::Status::Done);
        QVERIFY(!exists(from + item));
    }
    QVERIFY(questions.errorQuestions.isEmpty());
    QCOMPARE(readFile(stick + "/photos/a.jpg"), QByteArray(70000, 'a'));
    QCOMPARE(statOf(stick + (wholeFolder ? "/photos/day/c.mov" : "/photos/c.mov")).st_size, off_t(5 * 1024 * 1024));
    QVERIFY(!wholeFolder || readFile(stick + "/photos/day/b.jpg") == QByteArray("b"));
    // (fusefat gives whatever it renames the time of the rename, as with mv.)
    QVERIFY(!wholeFolder || qAbs(qint64(statOf(stick + "/photos/a.jpg").st_mtim.tv_sec) - 1600000001) <= 1);
    QVERIFY(!hasTemporaries(stick));
}

void TestEngineCoarseTimes::volumeThatLosesRenamedFoldersKeepsTheSources_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FAT through fusefat") << QStringLiteral("fat");
}

void TestEngineCoarseTimes::volumeThatLosesRenamedFoldersKeepsTheSources()
{
    if (const QString why = mountCoarseVolume(); !why.isEmpty())
        QSKIP(qPrintable(why));
    const QByteArray from = bytes(m_shm->path());
    QVERIFY(makeDirs(from + "/album/sub"));
    QVERIFY(writeFile(from + "/album/a.jpg", "a") && writeFile(from + "/album/sub/b.jpg", "b"));
    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    const FileOpResult result = runWithHook(moveRecord(text(from + "/album"), text(m_mounted)), questions);
    if (result.status == FileOpResult::Status::Done) {
        QCOMPARE(readFile(m_mounted + "/album/sub/b.jpg"), QByteArray("b")); // a fusefat that keeps them
        return;
    }
    // The staged folder arrived empty: every source stays, and that is said.
    QVERIFY(!questions.errorQuestions.isEmpty());
    QCOMPARE(questions.errorQuestions.first().reason, EngineTexts::CopyNotInPlace);
    QCOMPARE(readFile(from + "/album/a.jpg"), QByteArray("a"));
    QCOMPARE(readFile(from + "/album/sub/b.jpg"), QByteArray("b"));
}

void TestEngineCoarseTimes::sourceWrittenDuringTheCopyIsKept_data()
{
    moveOntoCoarseVolumeIsDone_data();
}

void TestEngineCoarseTimes::sourceWrittenDuringTheCopyIsKept()
{
    if (const QString why = mountCoarseVolume(); !why.isEmpty())
        QSKIP(qPrintable(why));
    const QByteArray stick = m_mounted;
    const QByteArray from = bytes(m_shm->path());
    QVERIFY(makeDirs(from + "/notes"));
    makeBigFile(from + "/notes/log.txt", 256 * 1024);
    const struct timespec old[2] = {{1600000000, 0}, {1600000000, 0}};
    QVERIFY(utimensat(AT_FDCWD, QByteArray(from + "/notes/log.txt").constData(), old, 0) == 0);
    // Someone saves the same length of new text while the copy reads.
    bool written = false;
    const auto save = [&](const char *point, const QByteArray &path) {
        if (!written && strcmp(point, "chunk-copied") == 0 && path.endsWith("log.txt")) {
            written = true;
            const int fd = open(path.constData(), O_WRONLY | O_CLOEXEC);
            QVERIFY(fd >= 0 && pwrite(fd, "saved", 5, 0) == 5);
            close(fd);
            QVERIFY(utimensat(AT_FDCWD, path.constData(), old, 0) == 0); // even with its old time put back
        }
    };
    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    const FileOpResult result = runWithHook(moveRecord(text(from + "/notes"), text(stick)), questions, save, 64 * 1024);
    QVERIFY(written);
    QVERIFY(result.status != FileOpResult::Status::Done);
    QVERIFY(!questions.errorQuestions.isEmpty());
    QVERIFY(readFile(from + "/notes/log.txt").startsWith("saved"));
    QVERIFY(!hasTemporaries(stick));
}

QTEST_GUILESS_MAIN(TestEngineCoarseTimes)
#include "tst_engine_coarse_times.moc"
