#pragma once

#include "webmapkit/GMKShape.h"

// A shape at one settable coordinate: the common pin.
class GMKPointAnnotation : public GMKShape {
public:
    GMKPointAnnotation() = default;
    explicit GMKPointAnnotation(const MapCoordinate& coordinate)
        : coordinate_(coordinate)
    {
    }

    MapCoordinate coordinate() const override { return coordinate_; }
    bool respondsToSetCoordinate() const override { return true; }
    void setCoordinate(const MapCoordinate& coordinate) override { coordinate_ = coordinate; }

    // "<GMKPointAnnotation: address> <latitude, longitude> title - subtitle".
    QString description() const;

private:
    MapCoordinate coordinate_;
};
