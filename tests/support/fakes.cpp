#include "support/fakes.h"

#include <QScopedValueRollback>

FileOpResult ScriptedFileOperation::perform(const FileOpRecord &op)
{
    if (isRunning()) {
        ++refused;
        FileOpResult refusal;
        refusal.status = FileOpResult::Status::Failed;
        return refusal;
    }
    performed.append(op);
    QScopedValueRollback<bool> running(m_running, true);
    if (onPerform)
        onPerform(op);
    return result;
}

std::optional<DiskFreeSpace> FakeDiskSpace::query(const QString &rootPath)
{
    queried << rootPath;
    const auto it = figures.constFind(rootPath);
    if (it == figures.cend())
        return std::nullopt;
    return *it;
}

std::optional<qint64> FakeFileQueries::length(const QString &path)
{
    const auto it = plainFiles.constFind(path);
    if (it == plainFiles.cend() || *it < 0)
        return std::nullopt;
    return *it;
}

void HookYield::yield()
{
    ++count;
    if (onYield) {
        // A copy: the hook may replace or clear itself.
        const auto hook = onYield;
        hook();
    }
}
