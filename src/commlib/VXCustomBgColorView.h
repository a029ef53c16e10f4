#pragma once

#include <QColor>
#include <QWidget>

// A view painted in a background colour, with a one-pixel frame line along
// its bounds when a frame colour is set. Like the rest of the interface the
// colours show at the next repaint: setting one does not ask for it.
class VXCustomBgColorView : public QWidget {
    Q_OBJECT
public:
    explicit VXCustomBgColorView(QWidget* parent = nullptr);

    // Invalid colours paint nothing.
    QColor bgColor() const { return bgColor_; }
    void setBgColor(const QColor& colour) { bgColor_ = colour; }
    QColor frameLineColor() const { return frameLineColor_; }
    void setFrameLineColor(const QColor& colour) { frameLineColor_ = colour; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor bgColor_;
    QColor frameLineColor_;
};
