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
    return resultFor.value(op.pFrom, result);
}

std::optional<DiskFreeSpace> FakeDiskSpace::query(const QString &rootPath)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_running;
    queried << rootPath;
    // Bounded, so that a window that waits for the answer fails its test
    // instead of hanging it.
    m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_released || !hung.contains(rootPath); });
    --m_running;
    m_changed.notify_all();
    const auto it = figures.constFind(rootPath);
    if (it == figures.cend())
        return std::nullopt;
    return *it;
}

void FakeDiskSpace::release()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_released = true;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_running == 0; });
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
