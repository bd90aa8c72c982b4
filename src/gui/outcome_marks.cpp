// The marks of queued tasks that did not succeed.
#include "gui/outcome_marks.h"

#include "gui/widget_helpers.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

OutcomeMarkDelegate::OutcomeMarkDelegate(int role, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_role(role)
{ }

void OutcomeMarkDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (!index.data(m_role).isValid())
        return;
    option->palette.setColor(QPalette::Text, QColor(0xB0, 0x00, 0x00));
    option->palette.setColor(QPalette::HighlightedText, QColor(0xFF, 0xE0, 0xE0));
    if (index.column() == 0) {
        const QStyle *style = option->widget ? option->widget->style() : QApplication::style();
        option->icon = style->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, option->widget);
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(12, 12);
    }
}

bool OutcomeMarkDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                    const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString tip = index.data(Qt::ToolTipRole).toString();
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), plainToolTip(tip), view->viewport(), option.rect);
    return true;
}
