#include "gui/panel_face.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

void paintPanelFace(QPainter &p, const QRect &rect)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal w = r.width();
    const qreal h = r.height();

    QLinearGradient bg(r.topLeft(), r.bottomLeft());
    bg.setColorAt(0, QColor(0x3d, 0x8b, 0xd8));
    bg.setColorAt(1, QColor(0x1f, 0x5a, 0x9e));
    p.setPen(QPen(QColor(0x14, 0x3f, 0x70), 1));
    p.setBrush(bg);
    p.drawRoundedRect(r, w * 0.16, h * 0.16);

    // The tray.
    const qreal left = r.left() + w * 0.18;
    const qreal right = r.right() - w * 0.18;
    const qreal top = r.top() + h * 0.56;
    const qreal bottom = r.bottom() - h * 0.16;
    QPainterPath tray;
    tray.moveTo(left, top);
    tray.lineTo(left, bottom);
    tray.lineTo(right, bottom);
    tray.lineTo(right, top);
    QPen trayPen(Qt::white, qMax<qreal>(2.0, w * 0.07), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(trayPen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tray);

    // The arrow pointing into it.
    const qreal cx = r.center().x();
    const qreal shaftTop = r.top() + h * 0.14;
    const qreal tip = r.top() + h * 0.66;
    p.drawLine(QPointF(cx, shaftTop), QPointF(cx, tip - h * 0.05));
    QPainterPath head;
    head.moveTo(cx - w * 0.17, tip - h * 0.2);
    head.lineTo(cx, tip);
    head.lineTo(cx + w * 0.17, tip - h * 0.2);
    p.drawPath(head);
    p.restore();
}

void paintDropHighlight(QPainter &p, const QRect &rect)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect, QColor(255, 255, 255, 70));
    const qreal width = qMax<qreal>(3.0, rect.width() * 0.09);
    const QRectF r = QRectF(rect).adjusted(width / 2, width / 2, -width / 2, -width / 2);
    p.setPen(QPen(QColor(0xff, 0xb3, 0x00), width));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, rect.width() * 0.14, rect.height() * 0.14);
    p.restore();
}
