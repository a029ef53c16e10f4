#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

class QPainter;

// Draws a picture with a soft drop shadow: a blurred copy of its coverage in
// the shadow colour, offset, beneath the picture itself.
class LayerShadow {
public:
    // `layer` is premultiplied ARGB in device pixels; it is drawn at `origin`
    // in the painter's coordinates. `offset` is in y-down points.
    static void drawWithShadow(QPainter& painter, const QImage& layer, const QPointF& origin, const QPointF& offset,
        double blur, const QColor& colour);

    // The shadow colour the platform uses by default: black at one third.
    static QColor defaultColour() { return QColor::fromRgbF(0.0f, 0.0f, 0.0f, 1.0f / 3.0f); }
};
