#pragma once

#include "model/move_task.h"
#include "model/path_indexed_rows.h"
#include "model/summary_list.h"
#include "platform/file_operation.h"

#include <QAbstractTableModel>
#include <QHash>

// The four counters: rows per move-mode word and rows in all.
struct QueueCounters
{
    int copyCount = 0;
    int cutCount = 0;
    int deleteCount = 0;
    int totalCount = 0;
};

// The move queue: tasks in the order they were added, shown as a six-column
// table. Every change goes through appendTask, removeTask, clearQueue or the
// pd_run_mode / pd2over_run_mode pair, which keep the counters equal to the
// rows and rewrite the summary rows. Positions in this API are 0-based.
class MoveQueue : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit MoveQueue(SummaryList *summary, QObject *parent = nullptr);

    // A row a run left queued because it did not succeed carries a mark:
    // this role gives its FileOpResult::Status (as int), the tool tip and
    // the accessible description give the mark's text.
    static constexpr int OutcomeRole = Qt::UserRole + 1;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    int count() const { return m_rows.size(); }
    bool isEmpty() const { return m_rows.size() == 0; }
    const MoveTask &task(int pos) const { return m_rows.at(pos); }
    RowRef refAt(int pos) const { return m_rows.idAt(pos); }
    // -1 when the row is no longer in the queue.
    int positionOf(RowRef ref) const { return m_rows.positionOf(ref); }
    // The rows still queued that were appended after `after` up to and
    // including `last` (either may be gone).
    int countBetween(RowRef after, RowRef last) const { return m_rows.countBetween(after, last); }
    // The position of the first row appended after `after` (which may be
    // gone, or NoRow for the first row); count() when there is none.
    int positionAfter(RowRef after) const { return m_rows.positionAfter(after); }

    const QueueCounters &counters() const { return m_counters; }

    // Appends at the end, counts the row and rewrites summary rows 1 to 4.
    RowRef appendTask(const MoveTask &task);
    // Uncounts the row, rewrites summary rows 1 to 4, then removes it.
    void removeTask(int pos);
    // Removes every row, then zeroes the counters with their running texts.
    void clearQueue();
    // The first row whose source path equals path exactly, or -1.
    int findQueued(const QString &path) const { return m_rows.findFirst(path); }
    // Writes the running texts of the given summary rows from the counters.
    void writeSummary(SummaryList::Rows rows);

    // Mode change of one row: pd_run_mode uncounts its present word, the
    // caller stores the new word with setMode, pd2over_run_mode counts it.
    void pd_run_mode(int pos);
    void pd2over_run_mode(int pos);
    void setMode(int pos, const QString &mode);
    void setDestination(int pos, const QString &destination);
    void setRemark(int pos, const QString &remark);
    // Marks the row with how its last performance ended and why; a Done
    // status takes the mark away.
    void setOutcomeMark(int pos, FileOpResult::Status status, const QString &text);
    // The row's mark text, empty when it has none.
    QString outcomeMark(int pos) const;

    // The counter a mode word feeds, or nullptr for any other word.
    static int *counterFor(QueueCounters &counters, const QString &mode);

private:
    void setField(int pos, int column, const QString &value);

    SummaryList *m_summary;
    PathIndexedRows<MoveTask> m_rows;
    QueueCounters m_counters;
    struct OutcomeMark
    {
        FileOpResult::Status status = FileOpResult::Status::Done;
        QString text;
    };
    QHash<RowRef, OutcomeMark> m_marks;
};
