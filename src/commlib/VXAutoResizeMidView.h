#pragma once

#include <QWidget>

class QHBoxLayout;

// A row of three views: the left and right keep their own width, the middle
// one takes what is left, all inside a margin.
class VXAutoResizeMidView : public QWidget {
    Q_OBJECT
public:
    explicit VXAutoResizeMidView(QWidget* parent = nullptr);

    // The view becomes a child of this one; a previous view in that place is deleted.
    void setLeftView(QWidget* view) { place(0, view); }
    void setMidView(QWidget* view) { place(1, view); }
    void setRightView(QWidget* view) { place(2, view); }
    QWidget* leftView() const { return views_[0]; }
    QWidget* midView() const { return views_[1]; }
    QWidget* rightView() const { return views_[2]; }

    int margin() const;
    void setMargin(int margin);

private:
    void place(int slot, QWidget* view);

    QHBoxLayout* layout_;
    QWidget* views_[3] = {nullptr, nullptr, nullptr};
};
