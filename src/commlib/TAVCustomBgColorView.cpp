#include "commlib/TAVCustomBgColorView.h"

TAVCustomBgColorView::TAVCustomBgColorView(QWidget* parent)
    : VXCustomBgColorView(parent)
{
    setBgColor(Qt::white);
}
