#include "app/TAVCustomBgColorView.h"

TAVCustomBgColorView::TAVCustomBgColorView(QWidget* parent)
    : VXCustomBgColorView(parent)
{
    setBgColor(Qt::white);
}
