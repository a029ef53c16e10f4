#pragma once

#include <QWidget>

// The grip at the right end of a split-view toolbar. Its area counts as part of
// the split view's divider: presses and drags on it are handed to the divider.
class CNSplitViewDraggingHandle : public QWidget {
    Q_OBJECT
public:
    explicit CNSplitViewDraggingHandle(QWidget* parent = nullptr);

    // Whether the enclosing split view lays its panes side by side.
    bool isVertical() const { return vertical_; }
    void setVertical(bool vertical);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void forwardToDivider(QMouseEvent* event);

    bool vertical_ = false;
};
