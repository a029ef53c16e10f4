#pragma once

#include <QWidget>

// A plain gradient bar with a one-pixel line along its top, for placing under
// or above other views.
class CNToolbarView : public QWidget {
    Q_OBJECT
public:
    explicit CNToolbarView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
