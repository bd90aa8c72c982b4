#pragma once

#include "platform/desktop_notifications.h"
#include "platform/disk_space.h"
#include "platform/event_yield.h"
#include "platform/file_operation.h"
#include "platform/file_queries.h"
#include "platform/shell_open.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <condition_variable>
#include <functional>
#include <mutex>

// Records every operation it is asked to perform; onPerform runs inside the
// call, as if the operation were in progress (to pause, drop, exit...).
// Like the real engine it does one operation at a time: a call while one is
// in progress, or while busy is set (an operation started elsewhere), is
// refused, counted in refused and not recorded.
class ScriptedFileOperation : public FileOperation
{
public:
    QList<FileOpRecord> performed;
    std::function<void(const FileOpRecord &)> onPerform;
    FileOpResult result;
    // The result for a source path; any other path gets result.
    QHash<QString, FileOpResult> resultFor;
    int cancelRequests = 0;
    int refused = 0;
    bool busy = false;

    FileOpResult perform(const FileOpRecord &op) override;
    void cancelRunning() override { ++cancelRequests; }
    bool isRunning() const override { return m_running || busy; }

private:
    bool m_running = false;
};

class RecordingShellOpen : public ShellOpen
{
public:
    QStringList openedPaths;
    QList<QUrl> openedUrls;
    bool openPath(const QString &path) override
    {
        openedPaths << path;
        return true;
    }
    bool openUrl(const QUrl &url) override
    {
        openedUrls << url;
        return true;
    }
};

// Queries run on worker threads: figures and volumes are set while none
// runs; a root in hung does not answer until release().
class FakeDiskSpace : public DiskSpace
{
public:
    QHash<QString, DiskFreeSpace> figures; // a root missing here fails its query
    QList<VolumeInfo> volumes;
    QStringList queried;
    QSet<QString> hung;

    ~FakeDiskSpace() override { release(); }
    std::optional<DiskFreeSpace> query(const QString &rootPath) override;
    QList<VolumeInfo> mountedVolumes() override { return volumes; }
    // queried, read while queries may be running.
    QStringList queriedSoFar()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return queried;
    }
    // Lets the hung queries answer and waits until every query returned.
    void release();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
    int m_running = 0;
};

// Plain files are the paths given a length; everything else counts as absent.
// A plain file with length -1 exists but its length cannot be read.
class FakeFileQueries : public FileQueries
{
public:
    QHash<QString, qint64> plainFiles;

    bool isPlainFile(const QString &path) override { return plainFiles.contains(path); }
    std::optional<qint64> length(const QString &path) override;
};

// Keeps every notification: its summary and body.
class RecordingNotifications : public DesktopNotifications
{
public:
    QList<QPair<QString, QString>> sent;
    void notify(const QString &summary, const QString &body) override { sent.append({summary, body}); }
};

// Counts yields; onYield runs at each, to let "other handlers" act there.
class HookYield : public EventYield
{
public:
    int count = 0;
    std::function<void()> onYield;
    void yield() override;
};
