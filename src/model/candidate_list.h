#pragma once

#include "model/move_task.h"
#include "model/path_indexed_rows.h"

#include <QAbstractTableModel>

// A candidate: the six task fields plus the check mark that says whether
// "确定" moves it into the queue.
struct CandidateRow : MoveTask
{
    bool ticked = false;
};

// The candidate window's rows, shown as a checkable six-column table.
// Candidates are not counted anywhere. Positions are 0-based.
class CandidateList : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CandidateList(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    int count() const { return m_rows.size(); }
    bool isEmpty() const { return m_rows.size() == 0; }
    const CandidateRow &at(int pos) const { return m_rows.at(pos); }
    RowRef refAt(int pos) const { return m_rows.idAt(pos); }
    int positionOf(RowRef ref) const { return m_rows.positionOf(ref); }
    // The first candidate whose source path equals path exactly, or -1.
    int findFirst(const QString &path) const { return m_rows.findFirst(path); }

    RowRef append(const CandidateRow &row);
    void removeAt(int pos);
    void clear();
    void setField(int pos, int column, const QString &value);
    void setTicked(int pos, bool ticked);

private:
    PathIndexedRows<CandidateRow> m_rows;
};
