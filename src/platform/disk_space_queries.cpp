#include "platform/disk_space_queries.h"

#include <QPointer>
#include <QSet>
#include <QTimer>

#include <mutex>
#include <thread>

// What the workers and this object share; it outlives this object as long
// as a worker holds it, so a late worker finds the asker gone.
struct DiskSpaceQueries::Shared
{
    std::mutex mutex;
    DiskSpaceQueries *owner = nullptr; // null once the asker is gone
    QSet<QString> running; // roots whose query is still inside DiskSpace
};

DiskSpaceQueries::DiskSpaceQueries(DiskSpace &disk, QObject *parent)
    : QObject(parent)
    , m_disk(disk)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

DiskSpaceQueries::~DiskSpaceQueries()
{
    // From here on a worker that returns posts nothing; anything it posted
    // before goes with this object.
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->owner = nullptr;
}

int DiskSpaceQueries::runningQueries() const
{
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    return int(m_shared->running.size());
}

void DiskSpaceQueries::ask(const QString &rootPath, Answer done)
{
    const quint64 id = m_nextId++;
    m_questions.push_back(Question {id, rootPath, std::move(done), false, std::nullopt});
    QTimer::singleShot(m_timeLimitMs, this, [this, id] { expire(id); });

    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (m_shared->running.contains(rootPath))
            return;
        m_shared->running.insert(rootPath);
    }
    // Detached: a query stuck in the kernel can neither be stopped nor be
    // waited for; it answers into the shared box whenever it returns.
    std::thread([shared = m_shared, disk = &m_disk, rootPath] {
        const std::optional<DiskFreeSpace> figures = disk->query(rootPath);
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->running.remove(rootPath);
        if (DiskSpaceQueries *owner = shared->owner)
            QMetaObject::invokeMethod(
                owner, [owner, rootPath, figures] { owner->answered(rootPath, figures); }, Qt::QueuedConnection);
    }).detach();
}

void DiskSpaceQueries::answered(const QString &root, const std::optional<DiskFreeSpace> &figures)
{
    for (Question &q : m_questions) {
        if (q.root == root && !q.settled) {
            q.settled = true;
            q.figures = figures;
        }
    }
    deliver();
}

void DiskSpaceQueries::expire(quint64 id)
{
    for (Question &q : m_questions) {
        if (q.id == id && !q.settled) {
            q.settled = true;
            q.figures.reset();
        }
    }
    deliver();
}

void DiskSpaceQueries::deliver()
{
    // An answer handler may ask again (or end everything): take each
    // answer off the line before running its handler, and stop if this
    // object went meanwhile.
    QPointer<DiskSpaceQueries> alive(this);
    while (alive && !m_questions.empty() && m_questions.front().settled) {
        Question q = std::move(m_questions.front());
        m_questions.erase(m_questions.begin());
        if (q.done)
            q.done(q.figures);
    }
}
