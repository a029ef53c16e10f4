#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

// Counts the wheel turns that reach a widget (the form around a control).
class WheelCounter : public QObject {
public:
    explicit WheelCounter(QWidget* widget) { widget->installEventFilter(this); }
    int turns = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Wheel)
            ++turns;
        return false;
    }
};
