#pragma once

#include <QPainter>

class QImage;

// Draws `image` into `rect` with the given composition and opacity, leaving the
// painter's own opacity and composition mode as they were. `fromRect` is in the
// image's device-independent coordinates; an empty one means the whole image.
void gsDrawAdjustedInRect(QPainter& painter, const QImage& image, const QRectF& rect, const QRectF& fromRect,
    QPainter::CompositionMode operation, qreal fraction);

// The same, with the rectangle at `point` and the image's own size.
void gsDrawAdjustedAtPoint(QPainter& painter, const QImage& image, const QPointF& point, const QRectF& fromRect,
    QPainter::CompositionMode operation, qreal fraction);
