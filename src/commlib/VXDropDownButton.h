#pragma once

#include <QToolButton>

// A button with an arrow part that opens its menu; the main part runs the
// button's own action.
class VXDropDownButton : public QToolButton {
    Q_OBJECT
public:
    explicit VXDropDownButton(QWidget* parent = nullptr);
};
