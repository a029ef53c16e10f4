#pragma once

#include "webmapkit/GMKAnnotationView.h"

// The standard pin: red, green or purple (any other colour draws red); shows a
// callout unless told otherwise.
class GMKPinAnnotationView : public GMKAnnotationView {
public:
    enum PinColor : unsigned { Red = 0, Green = 1, Purple = 2 };

    GMKPinAnnotationView(GMKAnnotationPtr annotation, const QString& reuseIdentifier);

    unsigned pinColor() const { return pinColor_; }
    void setPinColor(unsigned colour) { pinColor_ = colour; }
    bool animatesDrop() const { return animatesDrop_; }
    void setAnimatesDrop(bool animates) { animatesDrop_ = animates; }

    // A "qrc:" URL of the compiled-in pin picture for the colour.
    QString imageUrl() const override;

private:
    unsigned pinColor_ = Red;
    bool animatesDrop_ = false;
};
