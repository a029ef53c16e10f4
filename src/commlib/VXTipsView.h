#pragma once

#include <QLabel>

// A one-line hint laid over another view: centred text in red on a clear
// background; it lets mouse events through to the view below.
class VXTipsView : public QLabel {
    Q_OBJECT
public:
    explicit VXTipsView(QWidget* parent = nullptr);

    void setTextColor(const QColor& color);
};
