// Big files are copied side by side by the copy workers: each copy complete
// and alike (contents, mode, times), a cancel keeps the complete ones and
// nothing half-written, and a file the volume cannot hold beside those
// still being written is asked about before it is started.
#include "platform/engine/engine_texts.h"
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace EngineTestFiles;

namespace {

// count files of the given MiB each in folder, with contents, modes and
// times of their own; returns their names in walk order.
QList<QByteArray> makeBigFiles(const QByteArray &folder, int count, int mib)
{
    makeDirs(folder);
    QList<QByteArray> names;
    for (int i = 0; i < count; ++i) {
        const QByteArray name = "video" + QByteArray::number(i) + ".mkv";
        QByteArray data(mib * 1024 * 1024 + 1000 * i, char('a' + i));
        for (qsizetype at = 0; at < data.size(); at += 4096)
            data[at] = char(i * 7 + int(at / 4096));
        const QByteArray path = folder + '/' + name;
        writeFile(path, data);
        chmod(path.constData(), i % 2 ? 0640 : 0604);
        const struct timespec times[2] = {{1600000000 + i, 0}, {1500000000 + i, 123456789}};
        utimensat(AT_FDCWD, path.constData(), times, 0);
        names.append(name);
    }
    return names;
}

bool sameFile(const QByteArray &source, const QByteArray &copy)
{
    const struct stat a = statOf(source);
    const struct stat b = statOf(copy);
    return S_ISREG(b.st_mode) && a.st_mode == b.st_mode && a.st_mtim.tv_sec == b.st_mtim.tv_sec
        && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && readFile(source) == readFile(copy);
}

} // namespace

class TestEngineBigFiles : public QObject
{
    Q_OBJECT

private slots:
    void bigFilesAreCopiedSideBySide();
    void cancelKeepsTheCompleteCopiesOnly();
    void aFileThatCannotFitBesideTheOthersIsNotStarted();
};

void TestEngineBigFiles::bigFilesAreCopiedSideBySide()
{
    QTemporaryDir dir;
    const QByteArray root = bytes(dir.path());
    const QList<QByteArray> names = makeBigFiles(root + "/videos", 6, 5);

    // Files between their source being opened and their copy complete, at most at once.
    int copying = 0;
    int mostAtOnce = 0;
    std::set<std::thread::id> writers;
    EngineTestSettings settings;
    settings.workers = 3;
    settings.chunkBytes = 1024 * 1024;
    settings.chunkDelayUs = 2000;
    settings.hook = [&](const char *point, const QByteArray &) {
        if (strcmp(point, "source-checked") == 0)
            mostAtOnce = std::max(mostAtOnce, ++copying);
        else if (strcmp(point, "file-written") == 0)
            --copying;
        else if (strcmp(point, "chunk-copied") == 0)
            writers.insert(std::this_thread::get_id());
    };
    ScriptedEngineQuestions questions;
    const FileOpResult result = runSync(copyRecord(text(root + "/videos"), text(root + "/dest")), questions, nullptr,
                                        settings);
    QCOMPARE(result.status, FileOpResult::Status::Done);
    QVERIFY2(mostAtOnce >= 2, QByteArray::number(mostAtOnce).constData());
    QVERIFY(writers.size() >= 2);
    QVERIFY(writers.count(std::this_thread::get_id()) == 0); // not the job's own thread
    for (const QByteArray &name : names)
        QVERIFY2(sameFile(root + "/videos/" + name, root + "/dest/videos/" + name), name.constData());
    QCOMPARE(listTree(root + "/dest/videos").size(), names.size());
}

void TestEngineBigFiles::cancelKeepsTheCompleteCopiesOnly()
{
    QTemporaryDir dir;
    const QByteArray root = bytes(dir.path());
    const QList<QByteArray> names = makeBigFiles(root + "/videos", 8, 4);

    std::atomic_bool cancel {false};
    QStringList namedAtCancel;
    int complete = 0;
    EngineTestSettings settings;
    settings.workers = 3;
    settings.chunkBytes = 512 * 1024;
    settings.chunkDelayUs = 3000;
    settings.hook = [&](const char *point, const QByteArray &) {
        if (strcmp(point, "file-written") == 0 && ++complete == 2) {
            cancel = true;
            // The folder is still marked unfinished then.
            namedAtCancel = listTree(root + "/dest/videos").filter(QRegularExpression(QStringLiteral("^video")));
        }
    };
    ScriptedEngineQuestions questions;
    const FileOpResult result = runSync(copyRecord(text(root + "/videos"), text(root + "/dest")), questions, &cancel,
                                        settings);
    QCOMPARE(result.status, FileOpResult::Status::Cancelled);

    // Whatever has its name is complete; what was named before the cancel
    // stays; the copies still under way are gone, with no temporary left.
    const QStringList named = listTree(root + "/dest/videos");
    for (const QString &name : named)
        QVERIFY2(sameFile(root + "/videos/" + bytes(name), root + "/dest/videos/" + bytes(name)), qPrintable(name));
    for (const QString &name : namedAtCancel)
        QVERIFY2(named.contains(name), qPrintable(name + QLatin1String(" / ") + named.join(QLatin1Char(' '))));
    QVERIFY2(named.size() >= 2 && named.size() < names.size(), qPrintable(named.join(QLatin1Char(' '))));
    QVERIFY(!hasTemporaries(root + "/dest"));
    QVERIFY(questions.errorQuestions.isEmpty());
}

void TestEngineBigFiles::aFileThatCannotFitBesideTheOthersIsNotStarted()
{
    if (geteuid() != 0)
        QSKIP("needs root to mount a small tmpfs");
    QTemporaryDir dir;
    const QByteArray root = bytes(dir.path());
    QVERIFY(makeDirs(root + "/small"));
    if (mount("tmpfs", QByteArray(root + "/small").constData(), "tmpfs", 0, "size=40m") != 0)
        QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: ") + QString::fromLocal8Bit(strerror(errno))));
    auto unmount = qScopeGuard([&] { umount2(QByteArray(root + "/small").constData(), MNT_DETACH); });
    // Four of them fit; the last two the walk meets do not, once the four are written.
    const QList<QByteArray> names = makeBigFiles(root + "/videos", 6, 9);

    QSet<QByteArray> started;
    EngineTestSettings settings = withoutPreflight();
    settings.workers = 2;
    settings.chunkBytes = 1024 * 1024;
    settings.chunkDelayUs = 3000;
    settings.hook = [&](const char *point, const QByteArray &path) {
        if (strcmp(point, "source-checked") == 0)
            started.insert(path.mid(path.lastIndexOf('/') + 1));
    };
    ScriptedEngineQuestions questions;
    questions.defaultError = ErrorAnswer::Skip;
    const FileOpResult result = runSync(copyRecord(text(root + "/videos"), text(root + "/small")), questions, nullptr,
                                        settings);
    QCOMPARE(result.status, FileOpResult::Status::Skipped);

    // The two the volume cannot hold once the four are written are asked
    // about before anything of them was written; the volume never ran out
    // under a write, and the four are complete.
    const QString notEnough = EngineTexts::NoSpaceFor.left(EngineTexts::NoSpaceFor.indexOf(QLatin1String("%1")));
    QCOMPARE(questions.errorQuestions.size(), 2);
    QSet<QByteArray> left(names.cbegin(), names.cend());
    for (const ErrorQuestion &question : std::as_const(questions.errorQuestions)) {
        const QByteArray name = bytes(question.path).mid(bytes(question.path).lastIndexOf('/') + 1);
        QVERIFY2(question.reason.startsWith(notEnough), qPrintable(question.reason));
        QVERIFY2(!started.contains(name), name.constData());
        QVERIFY(left.remove(name));
    }
    for (const QByteArray &name : std::as_const(left))
        QVERIFY(sameFile(root + "/videos/" + name, root + "/small/videos/" + name));
    QCOMPARE(listTree(root + "/small/videos").size(), 4);
    QVERIFY(!hasTemporaries(root + "/small"));
}

QTEST_GUILESS_MAIN(TestEngineBigFiles)
#include "tst_engine_big_files.moc"
