// Names swapped for links while a copy or move runs: what the engine
// removes or sets aside is only ever the entry it checked, never a
// same-named one elsewhere.
#include "engine_move_fixture.h"
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"

#include <cstring>

namespace {

const std::atomic_bool never {false};

FileOpResult run(const FileOpRecord &record, EngineQuestions &questions, EngineTestSettings::Hook hook = {})
{
    FileOpParams params;
    QString error;
    if (!FileOpParams::fromRecord(record, &params, &error))
        return FileOpResult {FileOpResult::Status::Failed, error, {}};
    FileOpEngine engine(questions, never);
    engine.setTestSettings(chunkedSettings(0, 0, std::move(hook)));
    return engine.run(params);
}

// Puts a link to target where folder was; the folder itself lives on beside it.
void swapForLink(const QByteArray &folder, const QByteArray &target)
{
    QVERIFY(rename(folder.constData(), QByteArray(folder + ".real").constData()) == 0);
    QVERIFY(symlink(target.constData(), folder.constData()) == 0);
}

} // namespace

class TestEngineNameSwaps : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpVolumes(); }
    void cleanupTestCase() { tearDownVolumes(); }
    void cleanup() { emptyVolumes(); }
    void sourceFolderSwappedBeforeRemovalRemovesNothingElsewhere_data();
    void sourceFolderSwappedBeforeRemovalRemovesNothingElsewhere();
    void targetFolderSwappedBeforeReplacingTrashesNothingElsewhere();
};

void TestEngineNameSwaps::sourceFolderSwappedBeforeRemovalRemovesNothingElsewhere_data()
{
    QTest::addColumn<QByteArray>("point");
    QTest::addColumn<int>("call");
    QTest::newRow("after the copy is stored, before it is checked") << QByteArray("volume-flushed") << 1;
    QTest::newRow("after the copy is in place, before the sources go") << QByteArray("copy-placed") << 1;
}

void TestEngineNameSwaps::sourceFolderSwappedBeforeRemovalRemovesNothingElsewhere()
{
    QFETCH(QByteArray, point);
    QFETCH(int, call);
    requireTwoVolumes();
    const QByteArray from = bytes(m_shm->path());
    const QByteArray to = bytes(m_disk->path());
    QVERIFY(makeDirs(from + "/src/sub") && makeDirs(from + "/other"));
    const struct timespec same[2] = {{1500000000, 0}, {1500000000, 0}};
    for (const char *name : {"/a.txt", "/b.txt"}) {
        // The unrelated files look exactly like the moved ones.
        for (const QByteArray &folder : {QByteArray(from + "/src/sub"), QByteArray(from + "/other")}) {
            QVERIFY(writeFile(folder + name, "same"));
            QVERIFY(utimensat(AT_FDCWD, QByteArray(folder + name).constData(), same, 0) == 0);
        }
    }
    int calls = 0;
    const auto swap = [&](const char *at, const QByteArray &) {
        if (point == at && ++calls == call)
            swapForLink(from + "/src/sub", from + "/other");
    };
    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    const FileOpResult result = run(moveRecord(text(from + "/src"), text(to)), questions, swap);
    QCOMPARE(calls, call);
    QVERIFY(result.status != FileOpResult::Status::Done);
    QVERIFY(!questions.errorQuestions.isEmpty());
    QCOMPARE(listTree(from + "/other"), QStringList({QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    QCOMPARE(readFile(from + "/other/a.txt"), QByteArray("same"));
    // Nothing moved is lost: each file is still at its source or in place.
    for (const char *name : {"/a.txt", "/b.txt"})
        QVERIFY(exists(from + "/src/sub.real" + name) || exists(to + "/src/sub" + name));
    QVERIFY(!hasTemporaries(to));
}

void TestEngineNameSwaps::targetFolderSwappedBeforeReplacingTrashesNothingElsewhere()
{
    const QByteArray root = bytes(m_disk->path());
    const QByteArray trash = bytes(m_data->path()) + "/Trash";
    QVERIFY(makeDirs(root + "/src/D") && makeDirs(root + "/dst/D") && makeDirs(root + "/victim"));
    QVERIFY(writeFile(root + "/src/D/f", "new") && writeFile(root + "/dst/D/f", "old"));
    QVERIFY(writeFile(root + "/victim/f", "victim"));
    ScriptedEngineQuestions questions;
    questions.defaultOverwrite = OverwriteAnswer::Overwrite;
    questions.defaultError = ErrorAnswer::Skip;
    // Once the clash was looked at and answered, the folder becomes a link.
    questions.onQuestion = [&] {
        if (questions.overwriteQuestions.size() == 1 && questions.errorQuestions.isEmpty())
            swapForLink(root + "/dst/D", root + "/victim");
    };
    run(copyRecord(text(root + "/src/D"), text(root + "/dst")), questions);
    QCOMPARE(questions.overwriteQuestions.size(), 1);
    QCOMPARE(readFile(root + "/victim/f"), QByteArray("victim"));
    QVERIFY(!exists(trash + "/files/f") || readFile(trash + "/files/f") == QByteArray("old"));
    QCOMPARE(readFile(root + "/dst/D.real/f"), QByteArray("new"));
    QCOMPARE(readFile(trash + "/files/f"), QByteArray("old"));
}

QTEST_GUILESS_MAIN(TestEngineNameSwaps)
#include "tst_engine_name_swaps.moc"
