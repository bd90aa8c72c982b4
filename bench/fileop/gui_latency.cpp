// korvan-fileop-gui-latency WORKDIR [SIZE_MIB] [FILES]
// Copies a SIZE_MIB file (default 1024) inside WORKDIR through
// DesktopFileOperation, the progress window showing, while a 10 ms timer
// runs on the GUI thread; prints how late the timer got at worst. With
// FILES, a tree of FILES files of 100 B is copied instead (its totals
// counted beside the copy while the window shows).
// Exit status 0 when it was never more than 50 ms late.
#include "platform/engine/fs_util.h"
#include "platform/qt/desktop_file_operation.h"
#include "platform/qt/engine_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool makeFile(const QByteArray &path, qint64 mib)
{
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char(i * 31 + 7);
    bool ok = true;
    for (qint64 i = 0; i < mib && ok; ++i) {
        block[0] = char(i);
        ok = write(fd, block.constData(), size_t(block.size())) == block.size();
    }
    close(fd);
    return ok;
}

// files files of 100 B, a thousand a folder.
bool makeTree(const QByteArray &root, qint64 files)
{
    const QByteArray data(100, 'k');
    for (qint64 i = 0; i < files; ++i) {
        const QByteArray folder = root + "/d" + QByteArray::number(i / 1000);
        if (i % 1000 == 0 && mkdir(folder.constData(), 0755) != 0)
            return false;
        const QByteArray path = folder + "/f" + QByteArray::number(i % 1000);
        const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const bool written = write(fd, data.constData(), size_t(data.size())) == data.size();
        close(fd);
        if (!written)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: korvan-fileop-gui-latency WORKDIR [SIZE_MIB] [FILES]\n");
        return 2;
    }
    const QString work = QDir(QFile::decodeName(argv[1])).absoluteFilePath(QStringLiteral("gui-latency"));
    const qint64 mib = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024;
    const qint64 files = argc > 3 ? QByteArray(argv[3]).toLongLong() : 0;
    QDir().mkpath(work);
    const QString item = work + (files > 0 ? QStringLiteral("/tree") : QStringLiteral("/source.bin"));
    const QByteArray source = FsUtil::encodePath(item);
    if (files > 0 ? mkdir(source.constData(), 0755) != 0 || !makeTree(source, files) : !makeFile(source, mib)) {
        fprintf(stderr, "cannot write %s\n", source.constData());
        return 1;
    }

    DesktopFileOperation operation;
    // On tmpfs 1 GiB takes about half a second; show the window early so
    // that the timer is measured with it painting.
    operation.setProgressDelay(100);
    QElapsedTimer clock;
    qint64 expected = 0;
    qint64 worst = 0;
    qint64 ticks = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
        const qint64 now = clock.elapsed();
        worst = std::max(worst, now - expected);
        expected = now + 10;
        ++ticks;
    });
    bool dialogSeen = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, &app, [&] {
        if (operation.progressDialog() && operation.progressDialog()->isVisible())
            dialogSeen = true;
    });

    FileOpRecord record;
    record.wFunc = FileOpCode::Copy;
    record.fFlags = FileOpFlag::AllowUndo | FileOpFlag::NoConfirmMkdir;
    record.pFrom = item;
    record.pTo = work + QStringLiteral("/copy");

    clock.start();
    expected = 10;
    timer.start(10);
    probe.start(50);
    const FileOpResult result = operation.perform(record);
    const qint64 elapsed = clock.elapsed();
    timer.stop();
    QDir(work).removeRecursively();

    const QByteArray what = files > 0 ? QByteArray(QByteArray::number(files) + " files of 100 B")
                                      : QByteArray(QByteArray::number(mib) + " MiB");
    printf("copied %s in %lld ms (%s); progress window shown: %s\n", what.constData(), elapsed,
           result.ok() ? "done" : qPrintable(result.message), dialogSeen ? "yes" : "no");
    printf("10 ms GUI timer: %lld ticks, worst lateness %lld ms\n", ticks, worst);
    return result.ok() && worst <= 50 ? 0 : 1;
}
