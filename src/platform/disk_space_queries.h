#pragma once

#include "platform/disk_space.h"

#include <QObject>

#include <functional>
#include <memory>

// Asks a DiskSpace for a volume's figures on a worker thread, so that a
// volume that does not answer (a hung network mount) never holds the window
// up. Each answer comes back on this object's thread, in the order the
// questions were asked; a query that fails or takes longer than the time
// limit answers nullopt. Answers still out when this object goes are
// dropped.
class DiskSpaceQueries : public QObject
{
    Q_OBJECT
public:
    using Answer = std::function<void(const std::optional<DiskFreeSpace> &)>;

    explicit DiskSpaceQueries(DiskSpace &disk, QObject *parent = nullptr);
    ~DiskSpaceQueries() override;

    // How long a volume may take to answer; 2 s unless changed.
    void setTimeLimit(int ms) { m_timeLimitMs = ms; }

    // Queries rootPath; done runs once, later, with the figures or nullopt.
    // A volume whose earlier query is still running is not asked again:
    // the running query answers for both.
    void ask(const QString &rootPath, Answer done);

    // Questions not answered yet.
    int pending() const { return int(m_questions.size()); }
    // Worker threads still inside DiskSpace::query (a hung one stays).
    int runningQueries() const;

private:
    struct Question
    {
        quint64 id = 0;
        QString root;
        Answer done;
        bool settled = false;
        std::optional<DiskFreeSpace> figures;
    };
    struct Shared;

    void answered(const QString &root, const std::optional<DiskFreeSpace> &figures);
    void expire(quint64 id);
    // Hands out the settled answers at the head of the line, in order.
    void deliver();

    DiskSpace &m_disk;
    int m_timeLimitMs = 2000;
    quint64 m_nextId = 1;
    std::vector<Question> m_questions;
    std::shared_ptr<Shared> m_shared;
};
