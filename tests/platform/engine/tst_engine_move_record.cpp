// The record a cross-volume move keeps on the target's volume of what it
// copied: it reads back every step as written (any bytes in a name, with or
// without unnamed files), a block that cannot be written is asked about
// like any failed step, a record damaged on its volume removes no source,
// and a kill leaves nothing the next run does not remove.
#include "engine_move_fixture.h"
#include "fault_file_system.h"
#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_move_record.h"
#include "platform/engine/file_system.h"
#include "platform/engine/fs_util.h"
#include "support/engine_scripted_questions.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/wait.h>

using EngineJob::MoveRecord;
using EngineJob::RecordStep;

namespace {

// Steps of a walk three levels deep, with names of every byte a name can
// hold (all but NUL and '/'), the longest a name can be, and states of
// every kind of value.
QList<RecordStep> walkSteps(int items)
{
    QList<RecordStep> steps;
    const auto nameOf = [](int i) {
        QByteArray name;
        for (int b = 0; b < 1 + i % 255; ++b) {
            const char c = char(1 + (i * 7 + b * 13) % 255);
            name += c == '/' ? '\xff' : c;
        }
        return name;
    };
    steps.append({RecordStep::Kind::EnterFolder, QByteArray("top"), 64768, 2, {}});
    for (int i = 0; i < items; ++i) {
        if (i % 500 == 0)
            steps.append({RecordStep::Kind::EnterFolder, nameOf(i + 3), dev_t(i), ino_t(1) << 40 | ino_t(i), {}});
        EngineJob::SourceState state;
        state.device = dev_t(i % 3);
        state.inode = ino_t(i) * 977;
        state.links = nlink_t(1 + i % 2);
        state.size = i % 5 == 0 ? qint64(1) << 42 : i;
        state.modified = {time_t(i) - 1000, long(i % 1000000000)};
        state.changed = {time_t(1700000000 + i), 999999999};
        steps.append({RecordStep::Kind::Item, nameOf(i), 0, 0, state});
        if (i % 500 == 499)
            steps.append({RecordStep::Kind::LeaveFolder, {}, 0, 0, {}});
    }
    steps.append({RecordStep::Kind::LeaveFolder, {}, 0, 0, {}});
    return steps;
}

bool sameStep(const RecordStep &a, const RecordStep &b)
{
    const EngineJob::SourceState &s = a.state;
    const EngineJob::SourceState &t = b.state;
    return a.kind == b.kind && a.name == b.name && a.device == b.device && a.inode == b.inode && s.device == t.device
        && s.inode == t.inode && s.links == t.links && s.size == t.size && s.modified.tv_sec == t.modified.tv_sec
        && s.modified.tv_nsec == t.modified.tv_nsec && s.changed.tv_sec == t.changed.tv_sec
        && s.changed.tv_nsec == t.changed.tv_nsec;
}

// A tree of files, a few levels deep, and whether it is whole.
void makeFiles(const QByteArray &root, int files)
{
    for (int i = 0; i < files; ++i) {
        const QByteArray folder = root + "/d" + QByteArray::number(i / 400) + "/e" + QByteArray::number(i / 100);
        if (i % 100 == 0)
            makeDirs(folder);
        writeFile(folder + "/file " + QByteArray::number(i), "content " + QByteArray::number(i));
    }
}

bool filesWhole(const QByteArray &root, int files)
{
    for (int i = 0; i < files; ++i) {
        const QByteArray path = root + "/d" + QByteArray::number(i / 400) + "/e" + QByteArray::number(i / 100)
            + "/file " + QByteArray::number(i);
        if (readFile(path) != "content " + QByteArray::number(i))
            return false;
    }
    return true;
}

} // namespace

class TestEngineMoveRecord : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpVolumes(); }
    void cleanupTestCase() { tearDownVolumes(); }
    void cleanup() { emptyVolumes(); }

    void everyStepReadsBackAsWritten_data();
    void everyStepReadsBackAsWritten();
    void aRecordThatCannotBeWrittenIsAskedAbout_data();
    void aRecordThatCannotBeWrittenIsAskedAbout();
    void aDamagedRecordRemovesNoSource_data();
    void aDamagedRecordRemovesNoSource();
    void aKilledMoveLeavesNoRecordAfterTheNextRun_data();
    void aKilledMoveLeavesNoRecordAfterTheNextRun();
};

void TestEngineMoveRecord::everyStepReadsBackAsWritten_data()
{
    QTest::addColumn<bool>("unnamedFiles");
    QTest::newRow("unnamed file") << true;
    QTest::newRow("under a temporary name") << false;
}

void TestEngineMoveRecord::everyStepReadsBackAsWritten()
{
    QFETCH(bool, unnamedFiles);
    FaultFileSystem fs;
    fs.setUnnamedFiles(unnamedFiles);
    fs.arm(FaultFileSystem::Mode::Count, 0);
    FileSystemScope scope(&fs);
    const QByteArray folder = bytes(m_shm->path());
    const QList<RecordStep> steps = walkSteps(4000);
    {
        MoveRecord record;
        const int folderFd = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QCOMPARE(record.create(folderFd, ".korvan-1-1.part"), 0);
        close(folderFd);
        for (const RecordStep &step : steps)
            record.add(step);
        QCOMPARE(record.writeOut(true), 0);
        QCOMPARE(record.items(), qint64(4000));
        // Written a block at a time, not a step at a time.
        struct stat st;
        QCOMPARE(fstat(record.fd(), &st), 0);
        QVERIFY(st.st_size > 4 * MoveRecord::BlockBytes);
        const QList<const char *> calls = fs.names();
        const auto writes = std::count_if(calls.cbegin(), calls.cend(),
                                          [](const char *call) { return strcmp(call, "pwrite") == 0; });
        QCOMPARE(qint64(writes), qint64((st.st_size + MoveRecord::BlockBytes - 1) / MoveRecord::BlockBytes));

        for (int pass = 0; pass < 2; ++pass) { // read back twice: the check, then the removal
            MoveRecord::Reader reader(record);
            RecordStep step;
            int at = 0;
            while (reader.next(&step)) {
                QVERIFY2(at < steps.size() && sameStep(step, steps.at(at)), qPrintable(QString::number(at)));
                ++at;
            }
            QCOMPARE(reader.error(), 0);
            QCOMPARE(at, int(steps.size()));
        }
        QCOMPARE(record.verify(), 0);
        QCOMPARE(listTree(folder).size(), unnamedFiles ? 0 : 1);
    }
    QVERIFY(listTree(folder).isEmpty()); // no name outlives the record
}

void TestEngineMoveRecord::aRecordThatCannotBeWrittenIsAskedAbout_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("answer");
    // 1,000 files fill a few blocks, written while the tree is copied; 20
    // fit in one, written once the copy is complete.
    for (const int files : {1000, 20}) {
        const QByteArray when = files > 100 ? "while copying, " : "at the end, ";
        for (const auto &[how, answer] :
             {std::pair {"retried", ErrorAnswer::Retry}, std::pair {"skipped", ErrorAnswer::Skip},
              std::pair {"cancelled", ErrorAnswer::Cancel}})
            QTest::newRow(QByteArray(when + how).constData()) << files << int(answer);
    }
}

void TestEngineMoveRecord::aRecordThatCannotBeWrittenIsAskedAbout()
{
    QFETCH(int, files);
    QFETCH(int, answer);
    // One tmpfs taken for two volumes: the data is copied by copy_file_range
    // there, so the record's blocks are the only writes.
    const QByteArray source = bytes(m_shm->path()) + "/from/tree";
    const QByteArray into = bytes(m_shm->path()) + "/into";
    const FileOpRecord move = moveRecord(text(source), text(into));
    FaultFileSystem fs;
    fs.setOtherVolume(FsUtil::parentOf(source));
    EngineTestSettings settings;
    settings.fileSystem = &fs;
    settings.workers = 0; // the calls in the same order every run,
    settings.countFirst = true; // the count's among them
    makeFiles(source, files);
    makeDirs(into);
    ScriptedEngineQuestions clean;
    fs.arm(FaultFileSystem::Mode::Count, 0);
    QCOMPARE(runSync(move, clean, nullptr, settings).status, FileOpResult::Status::Done);
    const QList<const char *> calls = fs.names();
    const long firstWrite = std::find_if(calls.cbegin(), calls.cend(),
                                         [](const char *call) { return strcmp(call, "pwrite") == 0; })
        - calls.cbegin() + 1;
    QVERIFY(firstWrite <= calls.size());
    removeTree(into + "/tree");
    makeFiles(source, files);

    fs.arm(FaultFileSystem::Mode::Fail, firstWrite);
    ScriptedEngineQuestions questions;
    questions.errorAnswers = {ErrorAnswer(answer)};
    const FileOpResult result = runSync(move, questions, nullptr, settings);
    QCOMPARE(questions.errorQuestions.size(), 1);
    const ErrorQuestion &asked = questions.errorQuestions.first();
    QCOMPARE(asked.reason, EngineTexts::RecordNotWritten.arg(FsUtil::errorText(firstWrite % 2 ? EDQUOT : ENOSPC)));
    QVERIFY(asked.canRetry);
    if (ErrorAnswer(answer) == ErrorAnswer::Retry) {
        QCOMPARE(result.status, FileOpResult::Status::Done);
        QVERIFY(filesWhole(into + "/tree", files));
        QVERIFY(!exists(source));
    } else {
        // The item stays where it was, whole, and nothing of it is at the target.
        QCOMPARE(result.status,
                 ErrorAnswer(answer) == ErrorAnswer::Skip ? FileOpResult::Status::Skipped
                                                          : FileOpResult::Status::Failed);
        QVERIFY(filesWhole(source, files));
        QCOMPARE(listTree(into), QStringList());
    }
    QVERIFY(!hasTemporaries(into));
}

void TestEngineMoveRecord::aDamagedRecordRemovesNoSource_data()
{
    QTest::addColumn<QByteArray>("when"); // the test point where the record is damaged
    QTest::addColumn<bool>("cut"); // cut short, else a byte changed
    QTest::newRow("a byte changed before the check") << QByteArray("move-recorded") << false;
    QTest::newRow("cut short before the check") << QByteArray("move-recorded") << true;
    QTest::newRow("a byte changed before the removal") << QByteArray("copy-placed") << false;
    QTest::newRow("cut short before the removal") << QByteArray("copy-placed") << true;
}

void TestEngineMoveRecord::aDamagedRecordRemovesNoSource()
{
    requireTwoVolumes();
    QFETCH(QByteArray, when);
    QFETCH(bool, cut);
    const int files = 1000;
    const QByteArray source = bytes(m_disk->path()) + "/tree";
    const QByteArray into = bytes(m_shm->path()) + "/into";
    makeFiles(source, files);
    makeDirs(into);
    ScriptedEngineQuestions questions;
    QByteArray recordPath;
    bool damaged = false;
    const FileOpResult result = runWithHook(
        moveRecord(text(source), text(into)), questions, [&](const char *point, const QByteArray &path) {
            if (strcmp(point, "move-recorded") == 0)
                recordPath = path;
            if (when != point || recordPath.isEmpty())
                return;
            // The medium gives back other bytes than were written.
            const int fd = open(recordPath.constData(), O_RDWR | O_CLOEXEC);
            struct stat st;
            fstat(fd, &st);
            if (cut) {
                damaged = ftruncate(fd, st.st_size - 30) == 0;
            } else {
                char byte = 0;
                const off_t at = st.st_size - 100;
                damaged = pread(fd, &byte, 1, at) == 1 && (byte ^= 0x20, true) && pwrite(fd, &byte, 1, at) == 1;
            }
            close(fd);
        });
    QVERIFY(damaged);
    QCOMPARE(result.status, FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QVERIFY(
        questions.errorQuestions.first().reason.startsWith(EngineTexts::RecordDamaged.section(QLatin1Char('%'), 0, 0)));
    QVERIFY(filesWhole(source, files)); // every source stays
    if (when == "copy-placed")
        QVERIFY(filesWhole(into + "/tree", files)); // and its copy is in place
    else
        QCOMPARE(listTree(into), QStringList());
    QVERIFY(!hasTemporaries(into));
}

void TestEngineMoveRecord::aKilledMoveLeavesNoRecordAfterTheNextRun_data()
{
    QTest::addColumn<bool>("unnamedFiles");
    QTest::newRow("unnamed file") << true;
    QTest::newRow("under a temporary name") << false;
}

void TestEngineMoveRecord::aKilledMoveLeavesNoRecordAfterTheNextRun()
{
    requireTwoVolumes();
    QFETCH(bool, unnamedFiles);
    const QByteArray source = bytes(m_disk->path()) + "/tree";
    const QByteArray into = bytes(m_shm->path()) + "/into";
    makeFiles(source, 300);
    makeDirs(into);
    FaultFileSystem fs;
    fs.setUnnamedFiles(unnamedFiles);
    EngineTestSettings settings;
    settings.fileSystem = &fs;
    const pid_t child = fork();
    if (child == 0) {
        settings.hook = [](const char *point, const QByteArray &) {
            if (strcmp(point, "move-recorded") == 0)
                raise(SIGKILL);
        };
        ScriptedEngineQuestions questions;
        runSync(moveRecord(text(source), text(into)), questions, nullptr, settings);
        _exit(0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));
    // What the kill left: the staging folder, and a named record beside it.
    int records = 0;
    for (const QString &entry : listTree(into)) {
        const QByteArray path = into + '/' + bytes(entry);
        records += !entry.contains(QLatin1Char('/')) && S_ISREG(statOf(path).st_mode);
    }
    QCOMPARE(records, unnamedFiles ? 0 : 1);

    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(moveRecord(text(source), text(into)), questions, nullptr, settings).status,
             FileOpResult::Status::Done);
    QVERIFY(filesWhole(into + "/tree", 300));
    QVERIFY(!hasTemporaries(into));
}

QTEST_GUILESS_MAIN(TestEngineMoveRecord)
#include "tst_engine_move_record.moc"
