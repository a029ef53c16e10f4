#pragma once

class QWidget;

// Turns the mouse wheel over the middle of a widget as the window system
// delivers a turn: the application first gives the keyboard focus to a
// widget there that takes it by wheel (Qt::WheelFocus), then the event goes
// to the innermost widget under the pointer and on to its parents for as
// long as each ignores it.
class MouseWheel {
public:
    static void turnOver(QWidget* widget, int notches);
};
