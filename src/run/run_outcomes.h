#pragma once

#include "platform/file_operation.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

// What became of one task: where it came from and went, and the engine's account.
struct TaskOutcome
{
    QString mode;
    QString source;
    QString destination;
    FileOpResult result;

    // Done, or done with the items the user chose to skip: the task may leave the queue.
    bool succeeded() const;
};

// The account of the latest run (or immediate start): every task performed,
// its outcome, its items and notes. The "运行结果" window shows it; the
// account is plain text, names are never markup.
class RunOutcomes : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // A new run starts: the account of the last one goes.
    void begin();
    void record(const TaskOutcome &outcome);
    // The run is over: announces the account.
    void finish();

    const QList<TaskOutcome> &outcomes() const { return m_outcomes; }
    int succeededCount() const;
    int failedCount() const;
    int noteCount() const;
    // Something the user should see: a task that did not succeed, skipped items, or notes.
    bool needsShowing() const;
    // The run in one line.
    QString summaryLine() const;
    // The whole account: per task a line, then its reason, items and notes.
    QString text() const;
    // How long the run took, in milliseconds, once finished.
    qint64 elapsedMs() const { return m_elapsedMs; }

    // The word for how a task ended: 完成, 部分跳过, 失败, 已取消.
    static QString outcomeWord(FileOpResult::Status status);

signals:
    // finish() was called: the account is complete.
    void accountClosed();

private:
    QList<TaskOutcome> m_outcomes;
    QElapsedTimer m_clock;
    qint64 m_elapsedMs = 0;
};
