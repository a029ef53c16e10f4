#include "commlib/VXPopUpButton.h"

VXPopUpButton::VXPopUpButton(QWidget* parent)
    : QComboBox(parent)
{
}

void VXPopUpButton::showPopup()
{
    emit willPopUp();
    QComboBox::showPopup();
}
