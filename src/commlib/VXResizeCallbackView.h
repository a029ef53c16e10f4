#pragma once

#include <QWidget>

// A container that tells its owner when its size changed (the main window
// lays its tab content out again).
class VXResizeCallbackView : public QWidget {
    Q_OBJECT
public:
    explicit VXResizeCallbackView(QWidget* parent = nullptr);

signals:
    void resized(const QSize& size);

protected:
    void resizeEvent(QResizeEvent* event) override;
};
