#include "commlib/VXDropDownButton.h"

VXDropDownButton::VXDropDownButton(QWidget* parent)
    : QToolButton(parent)
{
    setPopupMode(QToolButton::MenuButtonPopup);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
}
