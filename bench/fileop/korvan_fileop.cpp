// korvan-fileop copy|move|delete SOURCE [DESTDIR] [--on-conflict=overwrite|skip|cancel]
//                                              [--on-error=skip|cancel] [--verify]
//                                              [--on-preflight=skip|cancel] [--report-first-write]
// Runs one operation through the engine without dialogs. Exit status 0 only
// when the operation did everything it should; otherwise the reason goes to
// stderr (1: failed, 2: usage, 3: something was skipped, 4: cancelled).
// SIGINT and SIGTERM cancel the operation the safe way (what was begun is
// undone) and it ends with status 4. For tests, KORVAN_FILEOP_CHUNK_DELAY=
// BYTES:MICROSECONDS slows copying down, and KORVAN_FILEOP_WORKERS=N sets
// the number of copy workers (0: none; see EngineTestSettings). --verify
// reads every copy back from the medium and compares it with its source.
// Items the target volume cannot hold are printed one a line before
// anything is written; --on-preflight says whether to skip them or to
// write nothing (the default). KORVAN_FILEOP_VOLUME_TYPE=vfat|exfat|… makes
// the target be taken for such a volume (tests). --report-first-write
// prints "first file written: N ms" to stdout once the first file's copy
// is complete, N counted from the start of the process (the bench).
#include "platform/engine/engine_questions.h"
#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_params.h"
#include "platform/engine/file_op_runner.h"
#include "platform/engine/fs_util.h"
#include "platform/engine/termination_signals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

class CommandLineQuestions : public EngineQuestions
{
public:
    OverwriteAnswer onConflict = OverwriteAnswer::Cancel;
    ErrorAnswer onError = ErrorAnswer::Cancel;
    PreflightAnswer onPreflight = PreflightAnswer::Cancel;

    OverwriteAnswer askOverwrite(const OverwriteQuestion &question) override
    {
        if (onConflict == OverwriteAnswer::Cancel)
            printError(EngineTexts::CliTargetExists.arg(question.target.path));
        return onConflict;
    }

    ErrorAnswer askOnError(const ErrorQuestion &question) override
    {
        // A cancelled operation ends with this same reason; only skips are listed here.
        if (onError == ErrorAnswer::Skip && question.canSkip)
            printError(EngineTexts::CliSkipped.arg(question.action, question.path, question.reason));
        return question.canSkip ? onError : ErrorAnswer::Cancel;
    }

    bool confirmCreateFolder(const QString &) override { return true; }
    bool confirmTrash(const QString &) override { return true; }

    PreflightAnswer askPreflight(const PreflightQuestion &question) override
    {
        for (const PreflightItem &item : question.items)
            printError(EngineTexts::CliPreflightItem.arg(item.path, item.reason));
        return onPreflight;
    }

    static void printError(const QString &text)
    {
        fprintf(stderr, "korvan-fileop: %s\n", text.toLocal8Bit().constData());
    }
};

int usage()
{
    fprintf(stderr,
            "usage: korvan-fileop copy|move|delete SOURCE [DESTDIR] "
            "[--on-conflict=overwrite|skip|cancel] [--on-error=skip|cancel] [--verify] "
            "[--on-preflight=skip|cancel] [--report-first-write]\n");
    return 2;
}

// Milliseconds since this process started, as the kernel recorded its start
// (/proc/self/stat, in clock ticks since boot); -1 when it cannot be read.
qint64 msSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which may hold spaces, in parentheses.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const int startField = 22 - 3; // field 22 counted from 1, fields here from the third
    struct timespec now;
    if (fields.size() <= startField || clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const qint64 ticks = sysconf(_SC_CLK_TCK);
    const qint64 startMs = fields.at(startField).toLongLong() * 1000 / ticks;
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000 - startMs;
}

QString absolute(const QString &path)
{
    return QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TerminationSignals termination;
    CommandLineQuestions questions;
    QStringList positional;
    bool verify = false;
    bool reportFirstWrite = false;
    for (int i = 1; i < argc; ++i) {
        // Paths are taken as raw bytes so that any file name can be given.
        const QByteArray arg(argv[i]);
        if (arg.startsWith("--on-conflict=")) {
            const QByteArray value = arg.mid(14);
            if (value == "overwrite")
                questions.onConflict = OverwriteAnswer::OverwriteAll;
            else if (value == "skip")
                questions.onConflict = OverwriteAnswer::Skip;
            else if (value == "cancel")
                questions.onConflict = OverwriteAnswer::Cancel;
            else
                return usage();
        } else if (arg.startsWith("--on-error=")) {
            const QByteArray value = arg.mid(11);
            if (value == "skip")
                questions.onError = ErrorAnswer::Skip;
            else if (value == "cancel")
                questions.onError = ErrorAnswer::Cancel;
            else
                return usage();
        } else if (arg.startsWith("--on-preflight=")) {
            const QByteArray value = arg.mid(15);
            if (value == "skip")
                questions.onPreflight = PreflightAnswer::SkipItems;
            else if (value == "cancel")
                questions.onPreflight = PreflightAnswer::Cancel;
            else
                return usage();
        } else if (arg == "--verify") {
            verify = true;
        } else if (arg == "--report-first-write") {
            reportFirstWrite = true;
        } else if (arg.startsWith("--")) {
            return usage();
        } else {
            positional.append(FsUtil::decodePath(arg));
        }
    }
    if (positional.size() < 2)
        return usage();

    FileOpRecord record;
    const QString mode = positional.at(0);
    if (mode == QStringLiteral("copy") && positional.size() == 3) {
        record.wFunc = FileOpCode::Copy;
        record.fFlags = FileOpFlag::AllowUndo | FileOpFlag::NoConfirmMkdir;
    } else if (mode == QStringLiteral("move") && positional.size() == 3) {
        record.wFunc = FileOpCode::Move;
        record.fFlags = FileOpFlag::AllowUndo | FileOpFlag::NoConfirmMkdir | FileOpFlag::NoConfirmation;
    } else if (mode == QStringLiteral("delete") && positional.size() == 2) {
        record.wFunc = FileOpCode::Delete;
        record.fFlags = FileOpFlag::AllowUndo | FileOpFlag::NoConfirmation;
    } else {
        return usage();
    }
    record.pFrom = absolute(positional.at(1));
    if (positional.size() == 3)
        record.pTo = absolute(positional.at(2));

    FileOpParams params;
    QString error;
    if (!FileOpParams::fromRecord(record, &params, &error)) {
        CommandLineQuestions::printError(error);
        return 1;
    }
    params.verify = verify;
    FileOpRunner runner;
    EngineTestSettings testing;
    const QList<QByteArray> delay = qgetenv("KORVAN_FILEOP_CHUNK_DELAY").split(':');
    if (delay.size() == 2) {
        testing.chunkBytes = delay.at(0).toLongLong();
        testing.chunkDelayUs = delay.at(1).toInt();
    }
    bool workersSet = false;
    const int workers = qEnvironmentVariableIntValue("KORVAN_FILEOP_WORKERS", &workersSet);
    if (workersSet && workers >= 0)
        testing.workers = workers;
    testing.volumeType = qgetenv("KORVAN_FILEOP_VOLUME_TYPE");
    // Only when asked: a hook makes the engine prepare what only a hook reads.
    static std::atomic_bool firstWritten {false};
    if (reportFirstWrite) {
        testing.hook = [](const char *point, const QByteArray &) {
            if (qstrcmp(point, "file-written") == 0 && !firstWritten.exchange(true)) {
                printf("first file written: %lld ms\n", msSinceProcessStart());
                fflush(stdout);
            }
        };
    }
    runner.setTestSettings(testing);
    QObject::connect(&termination, &TerminationSignals::requested, &runner, &FileOpRunner::cancel);
    if (TerminationSignals::received() != 0) {
        CommandLineQuestions::printError(EngineTexts::OperationCancelled);
        return 4;
    }
    const FileOpResult result = runner.run(params, questions);
    for (const QString &note : result.notes)
        CommandLineQuestions::printError(EngineTexts::CliNote + note);
    switch (result.status) {
    case FileOpResult::Status::Done: return 0;
    case FileOpResult::Status::Skipped: CommandLineQuestions::printError(result.message); return 3;
    case FileOpResult::Status::Cancelled: CommandLineQuestions::printError(result.message); return 4;
    case FileOpResult::Status::Failed: break;
    }
    CommandLineQuestions::printError(result.message);
    return 1;
}
