#include "views/GSImageDrawing.h"

#include <QImage>

void gsDrawAdjustedInRect(QPainter& painter, const QImage& image, const QRectF& rect, const QRectF& fromRect,
    QPainter::CompositionMode operation, qreal fraction)
{
    // The source is given in the same units as the target; the image holds
    // device pixels, so scale it by the image's pixel ratio.
    const qreal ratio = image.devicePixelRatio();
    const QRectF source
        = fromRect.isEmpty() ? QRectF(image.rect()) : QRectF(fromRect.topLeft() * ratio, fromRect.size() * ratio);
    painter.save();
    painter.setCompositionMode(operation);
    painter.setOpacity(painter.opacity() * fraction);
    painter.drawImage(rect, image, source);
    painter.restore();
}

void gsDrawAdjustedAtPoint(QPainter& painter, const QImage& image, const QPointF& point, const QRectF& fromRect,
    QPainter::CompositionMode operation, qreal fraction)
{
    gsDrawAdjustedInRect(painter, image, QRectF(point, image.deviceIndependentSize()), fromRect, operation, fraction);
}
