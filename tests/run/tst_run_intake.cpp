// Where dropped paths go, decided without any window: the windows the
// intake hands them to are a recording double.
#include "model/candidate_list.h"
#include "model/module1.h"
#include "model/move_queue.h"
#include "model/summary_list.h"
#include "model/texts.h"
#include "run/drop_intake.h"
#include "support/fakes.h"
#include "support/scripted_dialogs.h"

#include <QtTest>

namespace {

// Answers as the add-task dialog and the candidate window would, and notes
// what the intake asks of them, in order.
struct RecordingWindows : IntakeWindows
{
    bool defaults = false;
    std::optional<CandidateRow> held;
    QStringList calls;

    bool defaultsInForce() const override { return defaults; }
    std::optional<CandidateRow> addTaskDialogHolding() const override { return held; }
    void offerToAddTaskDialog(const QString &path) override { calls << QStringLiteral("offer ") + path; }
    void closeAddTaskDialog() override { calls << QStringLiteral("close dialog"); }
    void showCandidateWindow() override { calls << QStringLiteral("show candidates"); }
};

struct Intake
{
    ScriptedDialogs dialogs;
    HookYield yield;
    FakeFileQueries files;
    Services svc {&dialogs, nullptr, nullptr, nullptr, &files, &yield};
    SummaryList summary;
    MoveQueue queue {&summary};
    CandidateList candidates;
    Module1 m;
    RecordingWindows windows;
    DropIntake intake {queue, candidates, m, svc, windows};

    QStringList candidateSources() const
    {
        QStringList out;
        for (int i = 0; i < candidates.count(); ++i)
            out << candidates.at(i).sourcePath;
        return out;
    }
};

} // namespace

class TestRunIntake : public QObject
{
    Q_OBJECT

private slots:
    void pathsGoWhereTheSettingsSendThem_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("defaults");
        QTest::addColumn<QString>("heldSource");
        QTest::addColumn<int>("queued");
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<QStringList>("calls");
        const QStringList one {QStringLiteral("/a")};
        const QStringList two {QStringLiteral("/a"), QStringLiteral("/b")};
        QTest::newRow("defaults: one queued") << one << true << QString() << 1 << QStringList() << QStringList();
        QTest::newRow("defaults: several queued") << two << true << QString() << 2 << QStringList() << QStringList();
        QTest::newRow("one path: the add-task dialog")
            << one << false << QString() << 0 << QStringList() << QStringList {QStringLiteral("offer /a")};
        QTest::newRow("the dialog holds the same path")
            << one << false << QStringLiteral("/a") << 0 << QStringList() << QStringList {QStringLiteral("offer /a")};
        QTest::newRow("the dialog holds another: both become candidates")
            << one << false << QStringLiteral("/held") << 0
            << QStringList {QStringLiteral("/held"), QStringLiteral("/a")}
            << QStringList {QStringLiteral("close dialog"), QStringLiteral("show candidates")};
        QTest::newRow("several paths: candidates")
            << two << false << QString() << 0 << two << QStringList {QStringLiteral("show candidates")};
    }
    void pathsGoWhereTheSettingsSendThem()
    {
        QFETCH(QStringList, paths);
        QFETCH(bool, defaults);
        QFETCH(QString, heldSource);
        QFETCH(int, queued);
        QFETCH(QStringList, candidates);
        QFETCH(QStringList, calls);
        Intake in;
        in.m.defaultMode = Texts::ModeCopy;
        in.m.defaultDest = QStringLiteral("/dest/");
        in.windows.defaults = defaults;
        if (!heldSource.isEmpty()) {
            CandidateRow held;
            held.sourcePath = heldSource;
            held.name = heldSource.mid(1);
            in.windows.held = held;
        }
        in.intake.take(paths);
        QCOMPARE(in.queue.count(), queued);
        QCOMPARE(in.candidateSources(), candidates);
        QCOMPARE(in.windows.calls, calls);
        VERIFY_DIALOGS(in.dialogs);
    }

    void theProgramEndingDuringSeveralPathsStopsTheIntake()
    {
        Intake in;
        in.yield.onYield = [&] { in.m.exitAllowed = in.candidates.count() == 1; };
        in.intake.take({QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c")});
        QCOMPARE(in.candidateSources(), QStringList {QStringLiteral("/a")});
        QVERIFY(in.windows.calls.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRunIntake)
#include "tst_run_intake.moc"
