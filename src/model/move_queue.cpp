#include "model/move_queue.h"

#include "model/texts.h"

MoveQueue::MoveQueue(SummaryList *summary, QObject *parent)
    : QAbstractTableModel(parent)
    , m_summary(summary)
{ }

int MoveQueue::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int MoveQueue::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : MoveTask::ColumnCount;
}

QVariant MoveQueue::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QString field = m_rows.at(index.row()).field(index.column());
    if (role == Qt::DisplayRole)
        return field;
    const auto mark = m_marks.constFind(m_rows.idAt(index.row()));
    const bool marked = mark != m_marks.cend();
    if (role == Qt::ToolTipRole)
        return marked ? field + u'\n' + mark->text : field;
    if (role == Qt::AccessibleDescriptionRole && marked)
        return mark->text;
    if (role == OutcomeRole && marked)
        return int(mark->status);
    return {};
}

QVariant MoveQueue::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return MoveTask::columnTitle(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

int *MoveQueue::counterFor(QueueCounters &counters, const QString &mode)
{
    if (mode == Texts::ModeCopy)
        return &counters.copyCount;
    if (mode == Texts::ModeCut)
        return &counters.cutCount;
    if (mode == Texts::ModeDelete)
        return &counters.deleteCount;
    return nullptr;
}

RowRef MoveQueue::appendTask(const MoveTask &task)
{
    const int row = m_rows.size();
    beginInsertRows(QModelIndex(), row, row);
    const RowRef ref = m_rows.append(task);
    endInsertRows();
    if (int *counter = counterFor(m_counters, task.mode))
        ++*counter;
    ++m_counters.totalCount;
    writeSummary(SummaryList::AllRows);
    return ref;
}

void MoveQueue::removeTask(int pos)
{
    if (pos < 0 || pos >= m_rows.size())
        return;
    if (int *counter = counterFor(m_counters, m_rows.at(pos).mode))
        --*counter;
    --m_counters.totalCount;
    writeSummary(SummaryList::AllRows);
    beginRemoveRows(QModelIndex(), pos, pos);
    m_marks.remove(m_rows.idAt(pos));
    m_rows.removeAt(pos);
    endRemoveRows();
}

void MoveQueue::clearQueue()
{
    beginResetModel();
    m_rows.clear();
    m_marks.clear();
    endResetModel();
    m_counters = QueueCounters();
    writeSummary(SummaryList::AllRows);
}

void MoveQueue::writeSummary(SummaryList::Rows rows)
{
    if (m_summary) {
        const QString n = Texts::SummarySuffix;
        if (rows & SummaryList::Copy)
            m_summary->setText(SummaryList::CopyRow,
                               Texts::SummaryCopyPrefix + QString::number(m_counters.copyCount) + n);
        if (rows & SummaryList::Cut)
            m_summary->setText(SummaryList::CutRow, Texts::SummaryCutPrefix + QString::number(m_counters.cutCount) + n);
        if (rows & SummaryList::Delete)
            m_summary->setText(SummaryList::DeleteRow,
                               Texts::SummaryDeletePrefix + QString::number(m_counters.deleteCount) + n);
        if (rows & SummaryList::All)
            m_summary->setText(SummaryList::AllRow,
                               Texts::SummaryAllPrefix + QString::number(m_counters.totalCount) + n);
    }
}

void MoveQueue::pd_run_mode(int pos)
{
    if (pos < 0 || pos >= m_rows.size())
        return;
    if (int *counter = counterFor(m_counters, m_rows.at(pos).mode))
        --*counter;
    writeSummary(SummaryList::CopyCutDelete);
}

void MoveQueue::pd2over_run_mode(int pos)
{
    if (pos < 0 || pos >= m_rows.size())
        return;
    if (int *counter = counterFor(m_counters, m_rows.at(pos).mode))
        ++*counter;
    writeSummary(SummaryList::CopyCutDelete);
}

void MoveQueue::setMode(int pos, const QString &mode)
{
    setField(pos, MoveTask::Mode, mode);
}

void MoveQueue::setDestination(int pos, const QString &destination)
{
    setField(pos, MoveTask::Destination, destination);
}

void MoveQueue::setRemark(int pos, const QString &remark)
{
    setField(pos, MoveTask::Remark, remark);
}

void MoveQueue::setField(int pos, int column, const QString &value)
{
    if (pos < 0 || pos >= m_rows.size())
        return;
    m_rows.edit(pos, [&](MoveTask &t) { t.setField(column, value); });
    const QModelIndex idx = index(pos, column);
    emit dataChanged(idx, idx, {Qt::DisplayRole, Qt::ToolTipRole});
}

void MoveQueue::setOutcomeMark(int pos, FileOpResult::Status status, const QString &text)
{
    if (pos < 0 || pos >= m_rows.size())
        return;
    const RowRef ref = m_rows.idAt(pos);
    if (status == FileOpResult::Status::Done)
        m_marks.remove(ref);
    else
        m_marks.insert(ref, {status, text});
    emit dataChanged(index(pos, 0), index(pos, MoveTask::ColumnCount - 1),
                     {Qt::ToolTipRole, Qt::AccessibleDescriptionRole, OutcomeRole});
}

QString MoveQueue::outcomeMark(int pos) const
{
    if (pos < 0 || pos >= m_rows.size())
        return {};
    return m_marks.value(m_rows.idAt(pos)).text;
}
