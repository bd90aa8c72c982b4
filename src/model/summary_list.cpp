#include "model/summary_list.h"

#include "model/texts.h"

SummaryList::SummaryList(QObject *parent)
    : QAbstractListModel(parent)
    , m_texts {Texts::SummaryStartCopy, Texts::SummaryStartCut, Texts::SummaryStartDelete, Texts::SummaryStartAll}
    , m_keys {Texts::SummaryKeyCopy, Texts::SummaryKeyCut, Texts::SummaryKeyDelete, Texts::SummaryKeyAll}
{ }

int SummaryList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_texts.size());
}

QVariant SummaryList::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_texts.at(index.row());
    return {};
}

QString SummaryList::text(int position) const
{
    return m_texts.value(position - 1);
}

QString SummaryList::key(int position) const
{
    return m_keys.value(position - 1);
}

void SummaryList::setText(int position, const QString &text)
{
    const int row = position - 1;
    if (row < 0 || row >= m_texts.size() || m_texts.at(row) == text)
        return;
    m_texts[row] = text;
    const QModelIndex idx = index(row);
    emit dataChanged(idx, idx, {Qt::DisplayRole});
}

void SummaryList::appendRow(const QString &text)
{
    const int row = int(m_texts.size());
    beginInsertRows(QModelIndex(), row, row);
    m_texts.append(text);
    m_keys.append(QString());
    endInsertRows();
}
