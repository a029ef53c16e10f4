#pragma once

#include <QString>

class QWidget;

// Types text into a widget with the key events a US keyboard sends: a
// character typed with Shift held (":" is Shift+;) comes after a Shift press
// and before its release, as the window system delivers them.
class KeyboardTyping {
public:
    static void type(QWidget* widget, const QString& text);
};
