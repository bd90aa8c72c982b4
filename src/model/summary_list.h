#pragma once

#include <QAbstractListModel>
#include <QStringList>

// The main window's report list: the four summary rows (copy, cut, delete,
// all) created with their start-up texts, then any free-space rows, which
// are only ever appended below them.
class SummaryList : public QAbstractListModel
{
    Q_OBJECT
public:
    enum SummaryRow { CopyRow = 1, CutRow = 2, DeleteRow = 3, AllRow = 4 };
    enum RowFlag { Copy = 0x1, Cut = 0x2, Delete = 0x4, All = 0x8, CopyCutDelete = 0x7, AllRows = 0xF };
    Q_DECLARE_FLAGS(Rows, RowFlag)

    explicit SummaryList(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Text of the row at a 1-based position.
    QString text(int position) const;
    QString key(int position) const;
    void setText(int position, const QString &text);

    // Appends a keyless row below every other row.
    void appendRow(const QString &text);

private:
    QStringList m_texts;
    QStringList m_keys;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(SummaryList::Rows)
