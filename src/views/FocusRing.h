#pragma once

class QPainter;
class QWidget;

// The one-point outline in the keyboard-focus colour around a view's visible part.
class FocusRing {
public:
    static void drawFocusRing(QPainter& painter, const QWidget& view);
};
