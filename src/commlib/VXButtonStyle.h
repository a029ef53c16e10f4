#pragma once

class QAbstractButton;
class QColor;

// Looks of buttons that style sheets would otherwise have to repeat.
class VXButtonStyle {
public:
    // The colour of the button's title in every state but disabled.
    static void setTitleColor(QAbstractButton* button, const QColor& colour);
};
