#include "model/candidate_list.h"

#include "model/texts.h"

CandidateList::CandidateList(QObject *parent)
    : QAbstractTableModel(parent)
{ }

int CandidateList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int CandidateList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : MoveTask::ColumnCount;
}

QVariant CandidateList::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const CandidateRow &row = m_rows.at(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return row.field(index.column());
    if (role == Qt::CheckStateRole && index.column() == MoveTask::Name)
        return row.ticked ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool CandidateList::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    if (role == Qt::CheckStateRole && index.column() == MoveTask::Name) {
        setTicked(index.row(), value.toInt() == Qt::Checked);
        return true;
    }
    return false;
}

Qt::ItemFlags CandidateList::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == MoveTask::Name)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant CandidateList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        // The candidate list's mode header carries one trailing blank.
        if (section == MoveTask::Mode)
            return QString(Texts::ColumnMode + u' ');
        return MoveTask::columnTitle(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

RowRef CandidateList::append(const CandidateRow &row)
{
    const int pos = m_rows.size();
    beginInsertRows(QModelIndex(), pos, pos);
    const RowRef ref = m_rows.append(row);
    endInsertRows();
    return ref;
}

void CandidateList::removeAt(int pos)
{
    if (pos < 0 || pos >= m_rows.size())
        return;
    beginRemoveRows(QModelIndex(), pos, pos);
    m_rows.removeAt(pos);
    endRemoveRows();
}

void CandidateList::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CandidateList::setField(int pos, int column, const QString &value)
{
    if (pos < 0 || pos >= m_rows.size())
        return;
    m_rows.edit(pos, [&](CandidateRow &r) { r.setField(column, value); });
    const QModelIndex idx = index(pos, column);
    emit dataChanged(idx, idx, {Qt::DisplayRole, Qt::ToolTipRole});
}

void CandidateList::setTicked(int pos, bool ticked)
{
    if (pos < 0 || pos >= m_rows.size())
        return;
    m_rows.edit(pos, [&](CandidateRow &r) { r.ticked = ticked; });
    const QModelIndex idx = index(pos, MoveTask::Name);
    emit dataChanged(idx, idx, {Qt::CheckStateRole});
}
