#include "views/FocusRing.h"

#include <QPainter>
#include <QPalette>
#include <QWidget>

void FocusRing::drawFocusRing(QPainter& painter, const QWidget& view)
{
    const QRect visible = view.visibleRegion().boundingRect();
    const QRect area = visible.isEmpty() ? view.rect() : visible;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(QPen(view.palette().color(QPalette::Highlight), 1.0));
    painter.setBrush(Qt::NoBrush);
    // The outline lies inside the rectangle, on its outermost pixels.
    painter.drawRect(QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
}
