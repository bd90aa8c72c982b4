// The look at the target before the first write: every item the target
// volume cannot hold is asked about at once, a cancel writes nothing, a
// skip copies (or moves) the rest. On FAT through fusefat where it can be
// mounted, elsewhere by telling the check the volume type.
#include "engine_move_fixture.h"
#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"

#include <QProcess>
#include <QScopeGuard>

namespace {

const std::atomic_bool never {false};

FileOpResult runChecked(ScriptedEngineQuestions &questions, const FileOpRecord &record, const QByteArray &volumeType)
{
    FileOpParams params;
    QString error;
    if (!FileOpParams::fromRecord(record, &params, &error))
        return FileOpResult {FileOpResult::Status::Failed, error, {}};
    FileOpEngine engine(questions, never);
    EngineTestSettings settings;
    settings.volumeType = volumeType;
    engine.setTestSettings(settings);
    return engine.run(params);
}

// A tree with one item of each kind some volume cannot hold, and plain ones.
void makeAwkwardTree(const QByteArray &root)
{
    makeDirs(root + "/sub");
    writeFile(root + "/plain.txt", "plain");
    writeFile(root + "/sub/also plain.txt", "also");
    writeFile(root + "/a:b.txt", "colon");
    writeFile(root + "/trailing.", "dot");
    writeFile(root + "/sub/trailing ", "space");
    writeFile(root + "/CON.txt", "device");
    writeFile(root + "/sub/lpt3", "device");
    writeFile(root + "/Case.txt", "upper");
    writeFile(root + "/case.txt", "lower");
    makeDirs(root + "/bad?folder/inner");
    writeFile(root + "/bad?folder/inner/x.txt", "inside");
    symlink("plain.txt", QByteArray(root + "/link").constData());
    // 4 GiB exactly, sparse: nothing to write, but no FAT can hold it.
    const int fd = open(QByteArray(root + "/huge.img").constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(ftruncate(fd, 4LL * 1024 * 1024 * 1024), 0);
    close(fd);
}

QStringList listedNames(const PreflightQuestion &question)
{
    QStringList names;
    for (const PreflightItem &item : question.items)
        names.append(item.path.section(QLatin1String("/src/"), 1));
    // Which of Case.txt and case.txt comes second is the folder's order.
    names.replaceInStrings(QStringLiteral("Case.txt"), QStringLiteral("case.txt"));
    names.sort();
    return names;
}

} // namespace

class TestEnginePreflight : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void init() { setUpVolumes(); }
    void cleanup() { tearDownVolumes(); }

    void listsWhatTheVolumeCannotHold_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QStringList>("listed");
        const QStringList names = {QStringLiteral("CON.txt"),       QStringLiteral("a:b.txt"),
                                   QStringLiteral("bad?folder"),    QStringLiteral("sub/lpt3"),
                                   QStringLiteral("sub/trailing "), QStringLiteral("trailing.")};
        QStringList fat = names
            + QStringList {QStringLiteral("case.txt"), QStringLiteral("huge.img"), QStringLiteral("link")};
        fat.sort();
        QStringList exfat = names + QStringList {QStringLiteral("case.txt"), QStringLiteral("link")};
        exfat.sort();
        QTest::addRow("FAT") << QByteArray("vfat") << fat;
        QTest::addRow("exFAT: no 4 GiB limit") << QByteArray("exfat") << exfat;
        QTest::addRow("NTFS: case and links kept") << QByteArray("ntfs") << names;
        QTest::addRow("case folding only") << QByteArray("casefold") << QStringList {QStringLiteral("case.txt")};
        QTest::addRow("the disk itself: nothing") << QByteArray() << QStringList();
    }
    void listsWhatTheVolumeCannotHold()
    {
        QFETCH(QByteArray, type);
        QFETCH(QStringList, listed);
        const QByteArray src = bytes(m_disk->path()) + "/src";
        const QByteArray dst = bytes(m_disk->path()) + "/new/dst";
        makeAwkwardTree(src);
        ScriptedEngineQuestions questions;
        questions.preflightAnswer = PreflightAnswer::Cancel;
        const FileOpResult result = runChecked(questions, copyRecord(text(src), text(dst)), type);
        if (listed.isEmpty()) {
            QVERIFY(questions.preflightQuestions.isEmpty());
            QCOMPARE(result.status, FileOpResult::Status::Done);
            return;
        }
        QCOMPARE(questions.preflightQuestions.size(), 1);
        const PreflightQuestion &question = questions.preflightQuestions.at(0);
        QCOMPARE(question.itemCount, listed.size());
        QCOMPARE(listedNames(question), listed);
        for (const PreflightItem &item : question.items)
            QVERIFY2(!item.reason.isEmpty(), qPrintable(item.path));
        // Cancelled: nothing at all was written, not even the target folder.
        QCOMPARE(result.status, FileOpResult::Status::Cancelled);
        QVERIFY(!exists(bytes(m_disk->path()) + "/new"));
        QCOMPARE(result.itemCount, listed.size()); // and the run's account has them
    }

    void reasonsNameTheLimit_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("reason");
        QTest::addRow("colon") << QByteArray("a:b.txt") << EngineTexts::PreflightForbiddenCharacter;
        QTest::addRow("trailing dot") << QByteArray("trailing.") << EngineTexts::PreflightTrailingDotOrSpace;
        QTest::addRow("device name with extension") << QByteArray("CON.txt") << EngineTexts::PreflightReservedName;
        QTest::addRow("4 GiB") << QByteArray("huge.img") << EngineTexts::PreflightTooBigForFat;
        QTest::addRow("link") << QByteArray("link") << EngineTexts::PreflightNoSymlinks;
    }
    void reasonsNameTheLimit()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, reason);
        const QByteArray src = bytes(m_disk->path()) + "/src";
        makeAwkwardTree(src);
        ScriptedEngineQuestions questions;
        runChecked(questions, copyRecord(text(src), text(bytes(m_disk->path()) + "/dst")), "vfat");
        QCOMPARE(questions.preflightQuestions.size(), 1);
        QString found;
        for (const PreflightItem &item : questions.preflightQuestions.at(0).items) {
            if (item.path == text(src + '/' + name))
                found = item.reason;
        }
        QCOMPARE(found, reason);
    }

    void skippingCopiesTheRest()
    {
        const QByteArray src = bytes(m_disk->path()) + "/src";
        const QByteArray dst = bytes(m_disk->path()) + "/dst";
        makeAwkwardTree(src);
        ScriptedEngineQuestions questions;
        questions.preflightAnswer = PreflightAnswer::SkipItems;
        const FileOpResult result = runChecked(questions, copyRecord(text(src), text(dst)), "vfat");
        QCOMPARE(result.status, FileOpResult::Status::Skipped);
        QCOMPARE(result.itemCount, 9);
        QCOMPARE(readFile(dst + "/src/plain.txt"), QByteArray("plain"));
        QCOMPARE(readFile(dst + "/src/sub/also plain.txt"), QByteArray("also"));
        for (const char *gone :
             {"a:b.txt", "trailing.", "sub/trailing ", "CON.txt", "sub/lpt3", "bad?folder", "link", "huge.img"})
            QVERIFY2(!exists(dst + "/src/" + gone), gone);
        // Of the two names that differ in case, only the first is written.
        QCOMPARE(int(exists(dst + "/src/Case.txt")) + int(exists(dst + "/src/case.txt")), 1);
    }

    void skippingMoveKeepsTheListedSources()
    {
        const QByteArray src = bytes(m_disk->path()) + "/src";
        const QByteArray dst = bytes(m_shm->path()) + "/dst";
        if (statOf(bytes(m_disk->path())).st_dev == statOf(bytes(m_shm->path())).st_dev)
            QSKIP("needs a second volume");
        makeDirs(src);
        writeFile(src + "/ok.txt", "ok");
        writeFile(src + "/no|pipe.txt", "kept");
        ScriptedEngineQuestions questions;
        questions.preflightAnswer = PreflightAnswer::SkipItems;
        const FileOpResult result = runChecked(questions, moveRecord(text(src), text(dst)), "vfat");
        QCOMPARE(result.status, FileOpResult::Status::Skipped);
        QCOMPARE(readFile(dst + "/src/ok.txt"), QByteArray("ok"));
        QVERIFY(!exists(src + "/ok.txt"));
        QCOMPARE(readFile(src + "/no|pipe.txt"), QByteArray("kept"));
        QVERIFY(!exists(dst + "/src/no|pipe.txt"));
    }

    void realFatVolume()
    {
        // fusefat on a FAT image: the type comes from the mount table.
        if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0)
            QSKIP("needs root and /dev/fuse");
        const QByteArray image = bytes(m_disk->path()) + "/fat.img";
        const QByteArray mountPoint = bytes(m_disk->path()) + "/stick";
        makeDirs(mountPoint);
        QCOMPARE(
            QProcess::execute(QStringLiteral("truncate"), {QStringLiteral("-s"), QStringLiteral("32M"), text(image)}),
            0);
        if (QProcess::execute(QStringLiteral("mkfs.vfat"), {QStringLiteral("-n"), QStringLiteral("K"), text(image)})
                != 0
            || QProcess::execute(QStringLiteral("fusefat"),
                                 {QStringLiteral("-o"), QStringLiteral("rw+"), text(image), text(mountPoint)})
                != 0)
            QSKIP("fusefat or mkfs.vfat missing");
        auto unmount = qScopeGuard([&] {
            QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-u"), text(mountPoint)});
        });
        const QByteArray src = bytes(m_disk->path()) + "/src";
        makeAwkwardTree(src);
        ScriptedEngineQuestions questions;
        questions.preflightAnswer = PreflightAnswer::Cancel;
        const FileOpResult result = runChecked(questions, copyRecord(text(src), text(mountPoint)), QByteArray());
        QCOMPARE(questions.preflightQuestions.size(), 1);
        QCOMPARE(questions.preflightQuestions.at(0).itemCount, 9);
        QCOMPARE(result.status, FileOpResult::Status::Cancelled);
        QVERIFY(!exists(mountPoint + "/src"));
    }

    void volumeWithoutSizeHasNoShortage()
    {
        // ramfs says it has 0 blocks, 0 free: no size, not full.
        const QByteArray unsized = bytes(m_disk->path()) + "/ramfs";
        makeDirs(unsized);
        if (geteuid() != 0 || mount("ramfs", unsized.constData(), "ramfs", 0, nullptr) != 0)
            QSKIP("needs root to mount a ramfs");
        auto unmount = qScopeGuard([&] { umount2(unsized.constData(), MNT_DETACH); });
        const QByteArray src = bytes(m_disk->path()) + "/src";
        makeDirs(src);
        writeFile(src + "/one", QByteArray(1024 * 1024, 'x'));
        ScriptedEngineQuestions questions;
        const FileOpResult result = runChecked(questions, copyRecord(text(src), text(unsized)), QByteArray());
        QVERIFY(questions.preflightQuestions.isEmpty());
        QCOMPARE(result.status, FileOpResult::Status::Done);
        QCOMPARE(readFile(unsized + "/src/one").size(), 1024 * 1024);
    }

    void totalAgainstFreeSpace()
    {
        // A volume of 1 MiB: 2 MiB of files cannot go there; cancel writes nothing.
        const QByteArray small = bytes(m_disk->path()) + "/small";
        makeDirs(small);
        if (geteuid() != 0 || mount("tmpfs", small.constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("needs root to mount a small tmpfs");
        auto unmount = qScopeGuard([&] { umount(small.constData()); });
        const QByteArray src = bytes(m_disk->path()) + "/src";
        makeDirs(src);
        writeFile(src + "/one", QByteArray(1024 * 1024, 'x'));
        writeFile(src + "/two", QByteArray(1024 * 1024, 'y'));
        ScriptedEngineQuestions questions;
        const FileOpResult result = runChecked(questions, copyRecord(text(src), text(small)), QByteArray());
        QCOMPARE(questions.preflightQuestions.size(), 1);
        const PreflightQuestion &question = questions.preflightQuestions.at(0);
        QCOMPARE(question.itemCount, 1);
        QCOMPARE(question.items.at(0).path, text(src));
        QVERIFY(question.items.at(0).reason.startsWith(QStringLiteral("需要 ")));
        QCOMPARE(result.status, FileOpResult::Status::Cancelled);
        QVERIFY(listTree(small).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEnginePreflight)
#include "tst_engine_preflight.moc"
