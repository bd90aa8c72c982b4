#include "platform/engine/fs_util.h"
#include "platform/engine/termination_signals.h"
#include "platform/qt/desktop_file_operation.h"
#include "platform/qt/engine_dialogs.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <unistd.h>

using namespace EngineTestFiles;

namespace {

// Notes every progress window that becomes visible.
class ShowWatcher : public QObject
{
public:
    int shown = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<EngineProgressDialog *>(watched))
            ++shown;
        return false;
    }
};

} // namespace

class TestEngineDesktop : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void questionsArriveOnTheGuiThread();
    void quickOperationShowsNoProgressWindow();
    void progressWindowCancelsLongCopy();
    void noProgressWindowBehindAnOpenQuestion();
    void cancelRunningStopsTheOperation();
    void refusesUnknownFunctionAndSecondOperation();
    void realDialogsAnswerAConflict();
    void terminationSignalCancelsTheSafeWay();
    // Last: after QCoreApplication::exit() no event loop of this process runs again.
    void applicationExitCancelsTheSafeWay();

private:
    QTemporaryDir *m_tmp = nullptr;
    QByteArray m_root;
    ShowWatcher m_watcher;
};

void TestEngineDesktop::init()
{
    m_tmp = new QTemporaryDir;
    m_root = bytes(m_tmp->path());
    qputenv("XDG_DATA_HOME", m_root + "/data");
    m_watcher.shown = 0;
    qApp->installEventFilter(&m_watcher);
}

void TestEngineDesktop::cleanup()
{
    qApp->removeEventFilter(&m_watcher);
    delete m_tmp;
}

void TestEngineDesktop::questionsArriveOnTheGuiThread()
{
    QVERIFY(makeDirs(m_root + "/src"));
    QVERIFY(makeDirs(m_root + "/dst/src"));
    for (const char *name : {"a", "b", "c"}) {
        QVERIFY(writeFile(m_root + "/src/" + name, "new"));
        QVERIFY(writeFile(m_root + "/dst/src/" + name, "old"));
    }
    DesktopFileOperation operation;
    ScriptedEngineQuestions questions;
    questions.overwriteAnswers = {OverwriteAnswer::OverwriteAll};
    QList<QThread *> threads;
    questions.onQuestion = [&] { threads.append(QThread::currentThread()); };
    operation.setQuestions(&questions);

    QCOMPARE(operation.perform(copyRecord(text(m_root + "/src"), text(m_root + "/dst"))).status,
             FileOpResult::Status::Done);
    QCOMPARE(threads, QList<QThread *> {qApp->thread()});
    for (const char *name : {"a", "b", "c"})
        QCOMPARE(readFile(m_root + "/dst/src/" + name), QByteArray("new"));

    // All three modes go through the same object.
    QCOMPARE(operation.perform(moveRecord(text(m_root + "/dst/src"), text(m_root + "/moved"))).status,
             FileOpResult::Status::Done);
    QCOMPARE(operation.perform(deleteRecord(text(m_root + "/moved/src"))).status, FileOpResult::Status::Done);
    QCOMPARE(listTree(m_root + "/data/Trash/files/src").size(), 3);
    QVERIFY(!exists(m_root + "/moved/src"));
}

void TestEngineDesktop::quickOperationShowsNoProgressWindow()
{
    QVERIFY(writeFile(m_root + "/a", "a"));
    DesktopFileOperation operation;
    ScriptedEngineQuestions questions;
    operation.setQuestions(&questions);
    QCOMPARE(operation.perform(copyRecord(text(m_root + "/a"), text(m_root + "/dst"))).status,
             FileOpResult::Status::Done);
    QTest::qWait(50);
    QCOMPARE(m_watcher.shown, 0);
}

void TestEngineDesktop::progressWindowCancelsLongCopy()
{
    makeBigFile(m_root + "/big.bin", 8 * 1024 * 1024);
    DesktopFileOperation operation;
    ScriptedEngineQuestions questions;
    operation.setQuestions(&questions);
    operation.setProgressDelay(200);
    operation.setTestSettings(chunkedSettings(64 * 1024, 15000)); // 128 chunks: about 2 s in all

    int ticks = 0;
    QTimer ticker; // the GUI must keep running while it waits
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(10);

    QString shownPath;
    QString shownCounts;
    QTimer::singleShot(600, this, [&] {
        EngineProgressDialog *dialog = operation.progressDialog();
        QVERIFY(dialog && dialog->isVisible());
        shownPath = dialog->findChild<QLabel *>(QStringLiteral("currentLabel"))->toolTip();
        shownCounts = dialog->findChild<QLabel *>(QStringLiteral("countLabel"))->text();
        auto *cancel = dialog->findChild<QPushButton *>(QStringLiteral("cancelButton"));
        QCOMPARE(cancel->text(), QStringLiteral("取消"));
        cancel->click();
    });
    QElapsedTimer clock;
    clock.start();
    const FileOpResult result = operation.perform(copyRecord(text(m_root + "/big.bin"), text(m_root + "/dst")));
    QCOMPARE(result.status, FileOpResult::Status::Cancelled);
    QVERIFY(clock.elapsed() < 1800);
    QCOMPARE(m_watcher.shown, 1);
    QCOMPARE(shownPath, text(m_root + "/big.bin"));
    QVERIFY2(shownCounts.contains(QStringLiteral("/ 1 个文件")) && shownCounts.contains(QStringLiteral("8.0 MB")),
             qPrintable(shownCounts));
    QVERIFY(ticks > 30);
    QCOMPARE(listTree(m_root + "/dst"), QStringList());
    QVERIFY(!operation.progressDialog());
}

void TestEngineDesktop::noProgressWindowBehindAnOpenQuestion()
{
    makeBigFile(m_root + "/big.bin", 8 * 1024 * 1024);
    QVERIFY(makeDirs(m_root + "/dst"));
    QVERIFY(writeFile(m_root + "/dst/big.bin", "old"));
    DesktopFileOperation operation;
    ScriptedEngineQuestions questions;
    operation.setQuestions(&questions);
    // The question comes at once; the user takes longer to answer it than
    // the window waits before it would appear (the question's own event
    // loop runs meanwhile).
    operation.setProgressDelay(1000);
    operation.setTestSettings(chunkedSettings(64 * 1024, 30000)); // about 4 s in all
    int shownWhileAsked = -1;
    questions.onQuestion = [&] {
        QTest::qWait(1300);
        shownWhileAsked = m_watcher.shown;
    };

    // A missing source: the question comes, the operation ends, no window at all.
    const FileOpResult missing = operation.perform(copyRecord(text(m_root + "/missing"), text(m_root + "/dst")));
    QCOMPARE(missing.status, FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QCOMPARE(shownWhileAsked, 0);
    QCOMPARE(m_watcher.shown, 0);

    // A file to overwrite: no window while asked; once answered, the copy
    // goes on and the window comes after its delay, with a title and the
    // file it works on.
    questions.overwriteAnswers = {OverwriteAnswer::Overwrite};
    shownWhileAsked = -1;
    QString title;
    QString shownPath;
    QTimer::singleShot(2800, this, [&] {
        EngineProgressDialog *dialog = operation.progressDialog();
        QVERIFY(dialog && dialog->isVisible());
        title = dialog->windowTitle();
        shownPath = dialog->findChild<QLabel *>(QStringLiteral("currentLabel"))->toolTip();
        dialog->findChild<QPushButton *>(QStringLiteral("cancelButton"))->click();
    });
    const FileOpResult result = operation.perform(copyRecord(text(m_root + "/big.bin"), text(m_root + "/dst")));
    QCOMPARE(result.status, FileOpResult::Status::Cancelled);
    QCOMPARE(shownWhileAsked, 0);
    QCOMPARE(m_watcher.shown, 1);
    QVERIFY(!title.isEmpty());
    QCOMPARE(shownPath, text(m_root + "/big.bin"));
}

void TestEngineDesktop::cancelRunningStopsTheOperation()
{
    makeBigFile(m_root + "/big.bin", 4 * 1024 * 1024);
    QTemporaryDir shm(QStringLiteral("/dev/shm/korvan-test-XXXXXX")); // another volume, usually
    QVERIFY(shm.isValid());
    DesktopFileOperation operation;
    ScriptedEngineQuestions questions;
    operation.setQuestions(&questions);
    operation.setTestSettings(chunkedSettings(64 * 1024, 15000));
    bool runningMeanwhile = false;
    QTimer::singleShot(100, this, [&] {
        runningMeanwhile = operation.isRunning();
        operation.cancelRunning();
    });
    QCOMPARE(operation.perform(copyRecord(text(m_root + "/big.bin"), shm.path())).status,
             FileOpResult::Status::Cancelled);
    QVERIFY(runningMeanwhile);
    QVERIFY(!operation.isRunning());
    QCOMPARE(listTree(bytes(shm.path())), QStringList());
    QCOMPARE(readFile(m_root + "/big.bin").size(), qsizetype(4 * 1024 * 1024));
}

void TestEngineDesktop::refusesUnknownFunctionAndSecondOperation()
{
    QVERIFY(writeFile(m_root + "/a", "a"));
    DesktopFileOperation operation;
    ScriptedEngineQuestions questions;
    operation.setQuestions(&questions);
    FileOpRecord odd = copyRecord(text(m_root + "/a"), text(m_root + "/dst"));
    odd.wFunc = 4;
    const FileOpResult refused = operation.perform(odd);
    QCOMPARE(refused.status, FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.size(), 1); // the user is told
    QVERIFY(!questions.errorQuestions.first().canSkip);
    QVERIFY(!exists(m_root + "/dst"));

    makeBigFile(m_root + "/big.bin", 2 * 1024 * 1024);
    operation.setTestSettings(chunkedSettings(64 * 1024, 10000));
    FileOpResult second;
    QTimer::singleShot(50, this,
                       [&] { second = operation.perform(copyRecord(text(m_root + "/a"), text(m_root + "/x"))); });
    QCOMPARE(operation.perform(copyRecord(text(m_root + "/big.bin"), text(m_root + "/dst"))).status,
             FileOpResult::Status::Done);
    QCOMPARE(second.status, FileOpResult::Status::Failed);
    QVERIFY(!exists(m_root + "/x"));
}

void TestEngineDesktop::realDialogsAnswerAConflict()
{
    QVERIFY(makeDirs(m_root + "/dst"));
    QVERIFY(writeFile(m_root + "/a.txt", "new"));
    QVERIFY(writeFile(m_root + "/dst/a.txt", "old!"));
    DesktopFileOperation operation; // no scripted questions: the real dialogs
    QString targetText;
    QTimer::singleShot(100, this, [&] {
        auto *dialog = qobject_cast<EngineConflictDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        targetText = dialog->findChild<QLabel *>(QStringLiteral("targetLabel"))->text();
        dialog->findChild<QPushButton *>(QStringLiteral("overwriteButton"))->click();
    });
    QCOMPARE(operation.perform(copyRecord(text(m_root + "/a.txt"), text(m_root + "/dst"))).status,
             FileOpResult::Status::Done);
    QVERIFY(targetText.contains(text(m_root + "/dst/a.txt")));
    QVERIFY(targetText.contains(QStringLiteral("4 字节")));
    QCOMPARE(readFile(m_root + "/dst/a.txt"), QByteArray("new"));
}

void TestEngineDesktop::terminationSignalCancelsTheSafeWay()
{
    // As the program wires it: SIGTERM reaches the GUI thread and cancels.
    makeBigFile(m_root + "/big.bin", 4 * 1024 * 1024);
    QVERIFY(makeDirs(m_root + "/dst"));
    DesktopFileOperation operation;
    ScriptedEngineQuestions questions;
    operation.setQuestions(&questions);
    operation.setTestSettings(chunkedSettings(64 * 1024, 15000));
    TerminationSignals termination;
    int received = 0;
    connect(&termination, &TerminationSignals::requested, this, [&](int signalNumber) {
        received = signalNumber;
        operation.cancelRunning();
    });
    QTimer::singleShot(100, this, [] { kill(getpid(), SIGTERM); });
    QCOMPARE(operation.perform(copyRecord(text(m_root + "/big.bin"), text(m_root + "/dst"))).status,
             FileOpResult::Status::Cancelled);
    QCOMPARE(received, int(SIGTERM));
    QCOMPARE(TerminationSignals::received(), int(SIGTERM));
    QCOMPARE(listTree(m_root + "/dst"), QStringList());
}

void TestEngineDesktop::applicationExitCancelsTheSafeWay()
{
    makeBigFile(m_root + "/big.bin", 4 * 1024 * 1024);
    QVERIFY(makeDirs(m_root + "/dst"));
    QVERIFY(writeFile(m_root + "/dst/big.bin", "old"));
    DesktopFileOperation operation;
    ScriptedEngineQuestions questions;
    questions.defaultOverwrite = OverwriteAnswer::Overwrite;
    operation.setQuestions(&questions);
    operation.setTestSettings(chunkedSettings(64 * 1024, 15000));
    QTimer::singleShot(150, qApp, [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    const FileOpResult result = operation.perform(copyRecord(text(m_root + "/big.bin"), text(m_root + "/dst")));
    QCOMPARE(result.status, FileOpResult::Status::Cancelled);
    QVERIFY(clock.elapsed() < 900); // stopped, not run to the end
    QCOMPARE(readFile(m_root + "/dst/big.bin"), QByteArray("old"));
    QCOMPARE(listTree(m_root + "/dst"), QStringList {QStringLiteral("big.bin")});
}

QTEST_MAIN(TestEngineDesktop)
#include "tst_engine_desktop.moc"
