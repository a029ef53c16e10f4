#include "commlib/VXGradientView.h"

#include <QLinearGradient>
#include <QPainter>

VXGradientView::VXGradientView(QWidget* parent)
    : QWidget(parent)
{
}

void VXGradientView::setAryBgColors(const QList<QColor>& colours)
{
    aryBgColors_ = colours;
    update();
}

void VXGradientView::paintEvent(QPaintEvent*)
{
    if (aryBgColors_.isEmpty()) {
        return;
    }
    QPainter painter(this);
    if (aryBgColors_.size() == 1) {
        painter.fillRect(rect(), aryBgColors_.first());
        return;
    }
    QLinearGradient gradient(0, 0, 0, height());
    const qsizetype last = aryBgColors_.size() - 1;
    for (qsizetype index = 0; index <= last; ++index) {
        gradient.setColorAt(static_cast<qreal>(index) / last, aryBgColors_.at(index));
    }
    painter.fillRect(rect(), gradient);
}
