#include "platform/engine/file_op_engine.h"
#include "platform/engine/file_op_runner.h"
#include "platform/engine/fs_util.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace EngineTestFiles;

class TestEngineCopy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void copiesFileIntoCreatedDestination_data();
    void copiesFileIntoCreatedDestination();
    void copiesTreeWithModesTimesAndLinks();
    void copiesTopLevelLinkAsLink();
    void asksBeforeCreatingDestinationWithoutFlag();
    void conflictAnswers_data();
    void conflictAnswers();
    void overwritesSilentlyWithNoConfirmation();
    void oddNamesSurvive();

private:
    QTemporaryDir m_dataHome; // replaced files go to this trash, not the user's
};

void TestEngineCopy::initTestCase()
{
    QVERIFY(m_dataHome.isValid());
    qputenv("XDG_DATA_HOME", bytes(m_dataHome.path()));
}

void TestEngineCopy::copiesFileIntoCreatedDestination_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("without slash") << QString();
    QTest::newRow("with slash") << QStringLiteral("/");
}

void TestEngineCopy::copiesFileIntoCreatedDestination()
{
    QFETCH(QString, suffix);
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(writeFile(root + "/a.txt", "hello"));
    ScriptedEngineQuestions questions;
    const FileOpResult result = runSync(
        copyRecord(tmp.filePath(QStringLiteral("a.txt")), tmp.filePath(QStringLiteral("x/y/z")) + suffix), questions);
    QCOMPARE(result.status, FileOpResult::Status::Done);
    QCOMPARE(readFile(root + "/x/y/z/a.txt"), QByteArray("hello"));
    QCOMPARE(readFile(root + "/a.txt"), QByteArray("hello"));
    // 0x240 carries FOF_NOCONFIRMMKDIR: nothing may be asked.
    QVERIFY(questions.createFolderQuestions.isEmpty());
    QVERIFY(!hasTemporaries(root));
}

void TestEngineCopy::copiesTreeWithModesTimesAndLinks()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/src/sub/deeper"));
    QVERIFY(writeFile(root + "/src/run.sh", "#!/bin/sh\n"));
    QVERIFY(chmod(QByteArray(root + "/src/run.sh").constData(), 0751) == 0);
    QVERIFY(writeFile(root + "/src/sub/deeper/data.bin", QByteArray(300000, 'd')));
    QVERIFY(writeFile(root + "/src/empty", QByteArray()));
    QVERIFY(symlink("../run.sh", QByteArray(root + "/src/sub/to_file").constData()) == 0);
    QVERIFY(symlink("..", QByteArray(root + "/src/sub/loop").constData()) == 0); // would recurse forever if followed
    QVERIFY(symlink("/nonexistent/target", QByteArray(root + "/src/dangling").constData()) == 0);
    QVERIFY(chmod(QByteArray(root + "/src/sub").constData(), 0750) == 0);
    const struct timespec old[2] = {{1000000000, 0}, {1234567890, 500000000}};
    QVERIFY(utimensat(AT_FDCWD, QByteArray(root + "/src/run.sh").constData(), old, 0) == 0);
    QVERIFY(utimensat(AT_FDCWD, QByteArray(root + "/src/sub").constData(), old, 0) == 0);

    ScriptedEngineQuestions questions;
    const FileOpResult result = runSync(copyRecord(text(root + "/src"), text(root + "/dst")), questions);
    QCOMPARE(result.status, FileOpResult::Status::Done);
    QCOMPARE(listTree(root + "/dst/src"), listTree(root + "/src"));
    QCOMPARE(readFile(root + "/dst/src/sub/deeper/data.bin"), QByteArray(300000, 'd'));

    const struct stat script = statOf(root + "/dst/src/run.sh");
    QCOMPARE(script.st_mode & 07777, mode_t(0751));
    QCOMPARE(qint64(script.st_mtim.tv_sec), qint64(1234567890));
    QCOMPARE(qint64(script.st_mtim.tv_nsec), qint64(500000000));
    const struct stat sub = statOf(root + "/dst/src/sub");
    QCOMPARE(sub.st_mode & 07777, mode_t(0750));
    QCOMPARE(qint64(sub.st_mtim.tv_sec), qint64(1234567890));

    char target[256] = {};
    QVERIFY(S_ISLNK(statOf(root + "/dst/src/sub/loop").st_mode));
    QCOMPARE(readlink(QByteArray(root + "/dst/src/sub/to_file").constData(), target, sizeof target - 1), ssize_t(9));
    QCOMPARE(QByteArray(target), QByteArray("../run.sh"));
    QVERIFY(S_ISLNK(statOf(root + "/dst/src/dangling").st_mode));
    QVERIFY(!hasTemporaries(root));
}

void TestEngineCopy::copiesTopLevelLinkAsLink()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(writeFile(root + "/real.txt", "real"));
    QVERIFY(symlink("real.txt", QByteArray(root + "/link.txt").constData()) == 0);
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(copyRecord(text(root + "/link.txt"), text(root + "/out")), questions).status,
             FileOpResult::Status::Done);
    QVERIFY(S_ISLNK(statOf(root + "/out/link.txt").st_mode));
    char target[64] = {};
    QVERIFY(readlink(QByteArray(root + "/out/link.txt").constData(), target, sizeof target - 1) > 0);
    QCOMPARE(QByteArray(target), QByteArray("real.txt"));
}

void TestEngineCopy::asksBeforeCreatingDestinationWithoutFlag()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(writeFile(root + "/a.txt", "a"));
    FileOpRecord record = copyRecord(text(root + "/a.txt"), text(root + "/new/dir"));
    record.fFlags = FileOpFlag::AllowUndo; // no FOF_NOCONFIRMMKDIR

    ScriptedEngineQuestions declining;
    declining.createFolderAnswer = false;
    QCOMPARE(runSync(record, declining).status, FileOpResult::Status::Cancelled);
    QCOMPARE(declining.createFolderQuestions, QStringList {text(root + "/new/dir")});
    QVERIFY(!exists(root + "/new"));

    ScriptedEngineQuestions accepting;
    QCOMPARE(runSync(record, accepting).status, FileOpResult::Status::Done);
    QCOMPARE(readFile(root + "/new/dir/a.txt"), QByteArray("a"));
}

void TestEngineCopy::conflictAnswers_data()
{
    QTest::addColumn<QList<OverwriteAnswer>>("answers");
    QTest::addColumn<int>("questionsAsked");
    QTest::addColumn<QByteArray>("firstAfter");
    QTest::addColumn<QByteArray>("secondAfter");
    QTest::addColumn<FileOpResult::Status>("status");

    // The tree has two conflicting files, 1.txt and 2.txt (in that order
    // only if the directory lists them so; the test sorts answers by file).
    QTest::newRow("overwrite each") << QList<OverwriteAnswer> {OverwriteAnswer::Overwrite, OverwriteAnswer::Overwrite}
                                    << 2 << QByteArray("new") << QByteArray("new") << FileOpResult::Status::Done;
    QTest::newRow("overwrite all asks once") << QList<OverwriteAnswer> {OverwriteAnswer::OverwriteAll} << 1
                                             << QByteArray("new") << QByteArray("new") << FileOpResult::Status::Done;
    QTest::newRow("skip both") << QList<OverwriteAnswer> {OverwriteAnswer::Skip, OverwriteAnswer::Skip} << 2
                               << QByteArray("old") << QByteArray("old") << FileOpResult::Status::Skipped;
    QTest::newRow("cancel at first") << QList<OverwriteAnswer> {OverwriteAnswer::Cancel} << 1 << QByteArray("old")
                                     << QByteArray("old") << FileOpResult::Status::Cancelled;
}

void TestEngineCopy::conflictAnswers()
{
    QFETCH(QList<OverwriteAnswer>, answers);
    QFETCH(int, questionsAsked);
    QFETCH(QByteArray, firstAfter);
    QFETCH(QByteArray, secondAfter);
    QFETCH(FileOpResult::Status, status);

    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/src"));
    QVERIFY(makeDirs(root + "/dst/src"));
    QVERIFY(writeFile(root + "/src/1.txt", "new"));
    QVERIFY(writeFile(root + "/src/2.txt", "new"));
    QVERIFY(writeFile(root + "/dst/src/1.txt", "old"));
    QVERIFY(writeFile(root + "/dst/src/2.txt", "old"));

    ScriptedEngineQuestions questions;
    questions.overwriteAnswers = answers;
    const FileOpResult result = runSync(copyRecord(text(root + "/src"), text(root + "/dst")), questions);
    QCOMPARE(result.status, status);
    QCOMPARE(questions.overwriteQuestions.size(), questionsAsked);
    const OverwriteQuestion &first = questions.overwriteQuestions.first();
    QVERIFY(first.source.path.startsWith(text(root + "/src/")));
    QCOMPARE(first.target.path, QString(first.source.path).replace(text(root + "/src/"), text(root + "/dst/src/")));
    QCOMPARE(first.source.size, qint64(3));
    QCOMPARE(first.target.size, qint64(3));
    QVERIFY(first.target.modified.isValid());
    const QByteArray firstName = bytes(first.source.path.section(QLatin1Char('/'), -1));
    const QByteArray secondName = firstName == "1.txt" ? QByteArray("2.txt") : QByteArray("1.txt");
    QCOMPARE(readFile(root + "/dst/src/" + firstName), firstAfter);
    QCOMPARE(readFile(root + "/dst/src/" + secondName), secondAfter);
    QCOMPARE(readFile(root + "/src/1.txt"), QByteArray("new"));
    QVERIFY(!hasTemporaries(root));
    // The account: each replaced file set aside in the trash is a note, each skipped file an item.
    const int replaced = int(firstAfter == "new") + int(secondAfter == "new");
    QCOMPARE(result.notes.size(), replaced);
    for (const QString &note : result.notes)
        QVERIFY(note.contains(QStringLiteral("回收站")));
    QCOMPARE(result.itemCount, status == FileOpResult::Status::Skipped ? 2 : 0);
    QCOMPARE(result.items.size(), result.itemCount);
}

void TestEngineCopy::overwritesSilentlyWithNoConfirmation()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    QVERIFY(makeDirs(root + "/dst"));
    QVERIFY(writeFile(root + "/a.txt", "new content"));
    QVERIFY(writeFile(root + "/dst/a.txt", "old"));
    FileOpRecord record = copyRecord(text(root + "/a.txt"), text(root + "/dst"));
    record.fFlags |= FileOpFlag::NoConfirmation;
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(record, questions).status, FileOpResult::Status::Done);
    QVERIFY(questions.overwriteQuestions.isEmpty());
    QCOMPARE(readFile(root + "/dst/a.txt"), QByteArray("new content"));
}

void TestEngineCopy::oddNamesSurvive()
{
    QTemporaryDir tmp;
    const QByteArray root = bytes(tmp.path());
    auto cleanUp = qScopeGuard([&] { removeTree(root); }); // QDir cannot remove undecodable names
    const QByteArray invalidUtf8("bad\xff\xfe name");
    const QByteArray longName(255, 'L');
    const QList<QByteArray> names = {"with space", "new\nline", invalidUtf8, longName,
                                     QString::fromUtf8("中文 文件").toUtf8()};
    QVERIFY(makeDirs(root + "/src"));
    for (const QByteArray &name : names)
        QVERIFY(writeFile(root + "/src/" + name, name));

    // Inside a folder every name is copied byte for byte.
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(copyRecord(text(root + "/src"), text(root + "/dst")), questions).status,
             FileOpResult::Status::Done);
    for (const QByteArray &name : names)
        QCOMPARE(readFile(root + "/dst/src/" + name), name);

    // As the top-level source the name travels in a QString and must come back whole.
    for (const QByteArray &name : names) {
        ScriptedEngineQuestions top;
        QCOMPARE(runSync(copyRecord(text(root + "/src/" + name), text(root + "/top")), top).status,
                 FileOpResult::Status::Done);
        QCOMPARE(readFile(root + "/top/" + name), name);
    }
    // A name mangled by a lossy decoding does not exist: a clear failure, no copy.
    ScriptedEngineQuestions lossy;
    const FileOpResult result = runSync(
        copyRecord(QFile::decodeName(root + "/src/" + invalidUtf8), text(root + "/lossy")), lossy);
    QCOMPARE(result.status, FileOpResult::Status::Failed);
    QVERIFY(result.message.contains(QStringLiteral("找不到文件或文件夹")));
    QVERIFY(!exists(root + "/lossy/" + invalidUtf8));
}

QTEST_GUILESS_MAIN(TestEngineCopy)
#include "tst_engine_copy.moc"
