#include "commlib/VXCustomBgColorView.h"

#include <QPainter>
#include <QPen>

VXCustomBgColorView::VXCustomBgColorView(QWidget* parent)
    : QWidget(parent)
{
}

void VXCustomBgColorView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (bgColor_.isValid()) {
        painter.fillRect(rect(), bgColor_);
    }
    if (frameLineColor_.isValid()) {
        QPen pen(frameLineColor_);
        pen.setWidth(0); // cosmetic: one device pixel at any scale
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
