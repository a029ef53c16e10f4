#include "commlib/VXDashedLine.h"

#include <QPainter>
#include <QPen>

VXDashedLine::VXDashedLine(int lineType, QWidget* parent)
    : QWidget(parent)
    , lineType_(lineType == Vertical ? Vertical : Horizontal)
{
}

void VXDashedLine::setLineType(int lineType)
{
    lineType_ = lineType == Vertical ? Vertical : Horizontal;
    updateGeometry();
    update();
}

void VXDashedLine::setLineColor(const QColor& colour)
{
    lineColor_ = colour;
    update();
}

QSize VXDashedLine::sizeHint() const
{
    return lineType_ == Vertical ? QSize(3, 40) : QSize(40, 3);
}

void VXDashedLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QPen pen(lineColor_, 1, Qt::CustomDashLine);
    pen.setDashPattern({3, 3});
    painter.setPen(pen);
    if (lineType_ == Vertical) {
        const int x = width() / 2;
        painter.drawLine(x, 0, x, height());
    } else {
        const int y = height() / 2;
        painter.drawLine(0, y, width(), y);
    }
}
