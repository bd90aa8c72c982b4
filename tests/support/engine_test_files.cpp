#include "support/engine_test_files.h"

#include "platform/engine/file_op_engine.h"
#include "platform/engine/fs_util.h"

#include <QStringList>
#include <algorithm>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace EngineTestFiles {

QByteArray bytes(const QString &path)
{
    return FsUtil::encodePath(path);
}

QString text(const QByteArray &path)
{
    return FsUtil::decodePath(path);
}

struct stat statOf(const QByteArray &path)
{
    struct stat st;
    memset(&st, 0, sizeof st);
    lstat(path.constData(), &st);
    return st;
}

bool writeFile(const QByteArray &path, const QByteArray &content)
{
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = write(fd, content.constData(), size_t(content.size())) == content.size();
    close(fd);
    return ok;
}

QByteArray readToEnd(int fd)
{
    QByteArray content;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, n);
    close(fd);
    return content;
}

QByteArray readFile(const QByteArray &path)
{
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    return fd < 0 ? QByteArray() : readToEnd(fd);
}

bool exists(const QByteArray &path)
{
    struct stat st;
    return lstat(path.constData(), &st) == 0;
}

bool makeDirs(const QByteArray &path)
{
    return FsUtil::makePath(path, 0755) == 0;
}

QByteArray makeBigFile(const QByteArray &path, qint64 bytes)
{
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char(i * 7 + 3);
    for (qint64 done = 0; done < bytes; done += block.size()) {
        const qint64 n = std::min<qint64>(block.size(), bytes - done);
        if (write(fd, block.constData(), size_t(n)) != n)
            break;
    }
    close(fd);
    return path;
}

QList<QByteArray> listedNames(const QByteArray &dir)
{
    QList<QByteArray> names;
    DIR *handle = opendir(dir.constData());
    if (!handle)
        return names;
    while (const dirent *entry = readdir(handle)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    closedir(handle);
    return names;
}

namespace {
void listInto(const QByteArray &dir, const QByteArray &prefix, QStringList *out)
{
    DIR *handle = opendir(dir.constData());
    if (!handle)
        return;
    while (const dirent *entry = readdir(handle)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray relative = prefix.isEmpty() ? name : prefix + '/' + name;
        out->append(FsUtil::decodePath(relative));
        struct stat st;
        const QByteArray full = dir + '/' + name;
        if (lstat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            listInto(full, relative, out);
    }
    closedir(handle);
}
} // namespace

QStringList listTree(const QByteArray &dir)
{
    QStringList out;
    listInto(dir, QByteArray(), &out);
    out.sort();
    return out;
}

bool hasTemporaries(const QByteArray &dir)
{
    const QStringList entries = listTree(dir);
    for (const QString &entry : entries) {
        if (entry.section(QLatin1Char('/'), -1).startsWith(QStringLiteral(".korvan-")))
            return true;
    }
    return false;
}

void removeTree(const QByteArray &path)
{
    const pid_t child = fork();
    if (child == 0) {
        execlp("rm", "rm", "-rf", "--", path.constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    if (child > 0)
        waitpid(child, nullptr, 0);
}

FileOpRecord copyRecord(const QString &from, const QString &to)
{
    FileOpRecord record;
    record.wFunc = FileOpCode::Copy;
    record.fFlags = 0x240;
    record.pFrom = from;
    record.pTo = to;
    return record;
}

FileOpRecord moveRecord(const QString &from, const QString &to)
{
    FileOpRecord record;
    record.wFunc = FileOpCode::Move;
    record.fFlags = 0x250;
    record.pFrom = from;
    record.pTo = to;
    return record;
}

FileOpRecord deleteRecord(const QString &path)
{
    FileOpRecord record;
    record.wFunc = FileOpCode::Delete;
    record.fFlags = 0x50;
    record.pFrom = path;
    return record;
}

FileOpResult runSync(const FileOpRecord &record, EngineQuestions &questions, const std::atomic_bool *cancel,
                     const EngineTestSettings &settings, bool verify)
{
    FileOpParams params;
    QString error;
    if (!FileOpParams::fromRecord(record, &params, &error)) {
        FileOpResult refused;
        refused.status = FileOpResult::Status::Failed;
        refused.message = error;
        return refused;
    }
    params.verify = verify;
    static std::atomic_bool never {false};
    FileOpEngine engine(questions, cancel ? *cancel : never);
    engine.setTestSettings(settings);
    return engine.run(params);
}

EngineTestSettings chunkedSettings(qint64 chunkBytes, int chunkDelayUs, EngineTestSettings::Hook hook)
{
    EngineTestSettings settings;
    settings.chunkBytes = chunkBytes;
    settings.chunkDelayUs = chunkDelayUs;
    settings.hook = std::move(hook);
    return settings;
}

FileOpResult runWithHook(const FileOpRecord &record, EngineQuestions &questions, EngineTestSettings::Hook hook,
                         qint64 chunkBytes)
{
    return runSync(record, questions, nullptr, chunkedSettings(chunkBytes, chunkBytes > 0 ? 1 : 0, std::move(hook)));
}

EngineTestSettings withoutPreflight()
{
    EngineTestSettings settings;
    settings.preflight = false;
    return settings;
}

} // namespace EngineTestFiles
