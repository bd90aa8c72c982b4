// The list with a line of help while it is empty.
#include "gui/hinted_tree_view.h"

#include <QPainter>

HintedTreeView::HintedTreeView(QWidget *parent)
    : QTreeView(parent)
{ }

void HintedTreeView::setEmptyHint(const QString &text)
{
    m_hint = text;
    viewport()->update();
}

void HintedTreeView::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
    if (m_hint.isEmpty() || !model() || model()->rowCount(rootIndex()) > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    // Near the top, where the first row would be, wrapped to the visible width.
    const int margin = fontMetrics().averageCharWidth();
    const QRect area = viewport()->rect().adjusted(margin, fontMetrics().height(), -margin, 0);
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_hint);
}
