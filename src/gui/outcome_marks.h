#pragma once

#include <QStyledItemDelegate>

// Shows the mark of a queued task a run left because it did not succeed:
// a warning sign before its name and the row's text in red (the reason is
// the row's tool tip and accessible description, from the model). Tool
// tips are shown as plain text: names and reasons are never markup.
class OutcomeMarkDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // role: the model's role holding the mark (a status, or nothing).
    OutcomeMarkDelegate(int role, QObject *parent = nullptr);

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    int m_role;
};
