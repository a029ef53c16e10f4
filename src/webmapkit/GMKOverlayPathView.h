#pragma once

#include "webmapkit/GMKOverlayView.h"

#include <QColor>

// An overlay drawn as a stroked and filled path: red at 0.3 alpha inside, red
// outline, one point wide, unless set otherwise.
class GMKOverlayPathView : public GMKOverlayView {
public:
    explicit GMKOverlayPathView(GMKOverlayPtr overlay);

    QColor fillColor() const { return fillColor_; }
    void setFillColor(const QColor& colour) { fillColor_ = colour; }
    QColor strokeColor() const { return strokeColor_; }
    void setStrokeColor(const QColor& colour) { strokeColor_ = colour; }
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double width) { lineWidth_ = width; }

    // "strokeWeight", "clickable", and per colour its text and opacity; a
    // colour without a text (an invalid one) leaves out both of its options.
    QMap<QString, QVariant> options() const override;

private:
    QColor fillColor_;
    QColor strokeColor_;
    double lineWidth_ = 1.0;
};
