#pragma once

#include <QRect>

class QPainter;

// Paints the panel's picture: a tray with an arrow pointing into it, the
// sign of a drop target, drawn as vectors so it stays sharp at any scale.
void paintPanelFace(QPainter &painter, const QRect &rect);

// Marks the face as ready to take what is dragged over it: a bright frame
// around a lightened picture.
void paintDropHighlight(QPainter &painter, const QRect &rect);
