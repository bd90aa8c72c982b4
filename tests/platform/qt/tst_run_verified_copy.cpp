// A queue run with the real engine and verification after copying on: a
// copy whose stored bytes differ from its source (changed by the engine's
// test hook, as a lying medium would) fails its task, which stays queued,
// and the run's account names the file with the reason.
#include "model/module1.h"
#include "model/move_queue.h"
#include "model/summary_list.h"
#include "model/texts.h"
#include "platform/engine/engine_texts.h"
#include "platform/qt/desktop_file_operation.h"
#include "platform/qt/engine_dialogs.h"
#include "run/queue_runner.h"
#include "run/run_outcomes.h"
#include "run/task_performer.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"
#include "support/fakes.h"
#include "support/scripted_dialogs.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace EngineTestFiles;

namespace {

const QByteArray Victim = "victim-";

// Changes the first byte of every copy whose data begins with Victim, once
// it is complete and before it is stored and read back.
void corruptVictims(const char *point, const QByteArray &path)
{
    if (qstrcmp(point, "copy-complete") != 0)
        return;
    const int fd = open(path.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    char head[8] = {};
    if (pread(fd, head, size_t(Victim.size()), 0) == Victim.size() && QByteArray(head, Victim.size()) == Victim) {
        const char flipped = 'V';
        if (pwrite(fd, &flipped, 1, 0) != 1) { }
    }
    close(fd);
}

} // namespace

class TestRunVerifiedCopy : public QObject
{
    Q_OBJECT

private slots:
    void failedVerificationReachesTheAccount_data()
    {
        QTest::addColumn<bool>("verify");
        QTest::addRow("verified: the task fails and stays") << true;
        QTest::addRow("not verified: the corruption goes unseen") << false;
    }
    void failedVerificationReachesTheAccount()
    {
        QFETCH(bool, verify);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QByteArray root = tmp.path().toUtf8();
        makeDirs(root + "/src");
        for (int i = 0; i < 40; ++i) {
            const QByteArray head = i == 17 ? Victim : QByteArray("file-");
            writeFile(root + "/src/f" + QByteArray::number(i), head + QByteArray(4096, char('a' + i % 26)));
        }

        ScriptedEngineQuestions questions;
        questions.defaultError = ErrorAnswer::Cancel; // the error dialog's 取消: the task fails
        DesktopFileOperation engine;
        engine.setQuestions(&questions);
        engine.setProgressDelay(60 * 60 * 1000);
        EngineTestSettings settings;
        settings.hook = corruptVictims;
        engine.setTestSettings(settings);
        engine.setVerifyAfterCopy(verify);

        ScriptedDialogs dialogs;
        HookYield yield;
        Services svc {&dialogs, &engine, nullptr, nullptr, nullptr, &yield};
        SummaryList summary;
        MoveQueue queue {&summary};
        Module1 m;
        RunOutcomes outcomes;
        TaskPerformer performer {&engine, outcomes};
        QueueRunner runner {queue, m, svc, performer};
        MoveTask task;
        task.name = QStringLiteral("src");
        task.sourcePath = QString::fromUtf8(root + "/src");
        task.destination = QString::fromUtf8(root + "/dst/");
        task.mode = Texts::ModeCopy;
        queue.appendTask(task);

        runner.run();

        QCOMPARE(outcomes.outcomes().size(), 1);
        const QString victimCopy = QString::fromUtf8(root + "/dst/src/f17");
        if (!verify) {
            // Proves the corruption is real: unverified, the task is done and leaves.
            QCOMPARE(outcomes.outcomes().at(0).result.status, FileOpResult::Status::Done);
            QCOMPARE(queue.count(), 0);
            QVERIFY(readFile(victimCopy.toUtf8()).startsWith("Victim-"));
            return;
        }
        QCOMPARE(outcomes.outcomes().at(0).result.status, FileOpResult::Status::Failed);
        QCOMPARE(outcomes.failedCount(), 1);
        QCOMPARE(queue.count(), 1);
        QCOMPARE(queue.task(0).sourcePath, task.sourcePath);
        QCOMPARE(questions.errorQuestions.size(), 1);
        QCOMPARE(questions.errorQuestions.at(0).path, victimCopy);
        // The account names the file and the reason on one line.
        QVERIFY(outcomes.needsShowing());
        const QStringList lines = outcomes.text().split(u'\n');
        const auto named = std::find_if(lines.cbegin(), lines.cend(), [&](const QString &line) {
            return line.contains(victimCopy) && line.contains(EngineTexts::VerifyMismatch);
        });
        QVERIFY2(named != lines.cend(), qPrintable(outcomes.text()));
        QCOMPARE(EngineTexts::VerifyMismatch, QStringLiteral("校验失败：写入的内容与源不一致"));
        QVERIFY(!QFileInfo::exists(victimCopy));
    }
};

QTEST_MAIN(TestRunVerifiedCopy)
#include "tst_run_verified_copy.moc"
