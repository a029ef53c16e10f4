#include "views/CNToolbarView.h"

#include <QLinearGradient>
#include <QPainter>

CNToolbarView::CNToolbarView(QWidget* parent)
    : QWidget(parent)
{
}

void CNToolbarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF bounds = rect();
    // Darker below, lighter above, with a grey line along the top.
    QLinearGradient gradient(bounds.bottomLeft(), bounds.topLeft());
    gradient.setColorAt(0.0, QColor::fromRgbF(0.656f, 0.656f, 0.656f));
    gradient.setColorAt(1.0, QColor::fromRgbF(0.883f, 0.883f, 0.883f));
    painter.fillRect(bounds, gradient);
    painter.fillRect(QRectF(0, 0, bounds.width(), 1), QColor::fromRgbF(0.5f, 0.5f, 0.5f));
}
