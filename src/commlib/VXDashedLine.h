#pragma once

#include <QColor>
#include <QWidget>

// A dashed separator line through the middle of the view: type 0 runs
// horizontally, type 1 vertically.
class VXDashedLine : public QWidget {
    Q_OBJECT
public:
    enum LineType : int { Horizontal = 0, Vertical = 1 };

    explicit VXDashedLine(int lineType = Horizontal, QWidget* parent = nullptr);

    int lineType() const { return lineType_; }
    void setLineType(int lineType);
    QColor lineColor() const { return lineColor_; }
    void setLineColor(const QColor& colour);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int lineType_;
    QColor lineColor_ = QColor(160, 160, 160);
};
