// Times "确定" in the candidate window on many ticked candidates: the check
// pass, the transfer into the queue (shown in the main window) and the close.
// Prints the time and fails when it reaches the limit.
#include "app/app_context.h"
#include "candidates/candidate_window.h"
#include "mainwin/main_window.h"
#include "platform/file_operation.h"
#include "platform/qt/desktop_shell_open.h"
#include "platform/system_disk_space.h"
#include "platform/system_file_queries.h"
#include "platform/throttled_event_yield.h"
#include "platform/user_dialogs.h"
#include "program/window_setup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

namespace {

// No question may come up while every candidate is ticked with a destination.
class NoQuestions : public UserDialogs
{
public:
    int asked = 0;
    void message(const QString &, const QString &) override { ++asked; }
    Answer askYesNo(const QString &, const QString &) override { return ++asked, Answer::No; }
    Answer askYesNoCancel(const QString &, const QString &) override { return ++asked, Answer::Cancel; }
    std::optional<QString> inputBox(const QString &, const QString &, const QString &) override
    {
        return ++asked, std::nullopt;
    }
    QString openFileName(const QString &, const QString &, const QString &) override { return ++asked, QString(); }
    QString saveFileName(const QString &, const QString &, const QString &) override { return ++asked, QString(); }
    int execModal(QDialog *) override { return ++asked, 0; }
};

// "确定" never performs anything; the queue runner is not started.
class NoOperations : public FileOperation
{
public:
    FileOpResult perform(const FileOpRecord &) override { return {}; }
    void cancelRunning() override { }
    bool isRunning() const override { return false; }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = QApplication::arguments();
    const int count = args.size() > 1 ? args.at(1).toInt() : 10000;
    const qint64 limitMs = args.size() > 2 ? args.at(2).toLongLong() : 2000;

    NoQuestions dialogs;
    NoOperations engine;
    DesktopShellOpen shell;
    SystemDiskSpace disk;
    SystemFileQueries files;
    ThrottledEventYield yield;
    AppContext ctx(Services {&dialogs, &engine, &shell, &disk, &files, &yield});
    AppWindows windows(ctx);
    Form1 &form1 = *windows.form1();
    form1.show();

    const QString modes[] = {QStringLiteral("复制"), QStringLiteral("剪贴"), QStringLiteral("删除")};
    for (int i = 0; i < count; ++i) {
        CandidateRow c;
        c.name = QStringLiteral("file%1.dat").arg(i);
        c.sizeK = QStringLiteral("12.34");
        c.sourcePath = QStringLiteral("/home/user/data/") + c.name;
        c.destination = QStringLiteral("/media/backup/");
        c.mode = modes[i % 3];
        c.ticked = true;
        ctx.candidates.append(c);
    }
    Form7 *window = windows.form7();
    window->show();
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    window->Command2_Click();
    const qint64 ms = timer.elapsed();

    QTextStream out(stdout);
    const bool complete = ctx.queue.count() == count && ctx.candidates.isEmpty() && dialogs.asked == 0
        && ctx.queue.counters().totalCount == count && !window->isVisible();
    out << "confirm " << count << " ticked candidates: " << ms << " ms (limit " << limitMs << " ms)"
        << (complete ? "" : " INCOMPLETE") << Qt::endl;
    return complete && ms < limitMs ? 0 : 1;
}
