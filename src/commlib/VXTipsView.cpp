#include "commlib/VXTipsView.h"

#include <QPalette>

VXTipsView::VXTipsView(QWidget* parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setTextColor(Qt::red);
}

void VXTipsView::setTextColor(const QColor& color)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, color);
    setPalette(palette);
}
