#include "commlib/VXButtonStyle.h"

#include <QAbstractButton>
#include <QColor>
#include <QPalette>

void VXButtonStyle::setTitleColor(QAbstractButton* button, const QColor& colour)
{
    if (button == nullptr) {
        return;
    }
    QPalette palette = button->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::ButtonText, colour);
        palette.setColor(group, QPalette::WindowText, colour);
    }
    button->setPalette(palette);
}
