#pragma once

#include "webmapkit/GMKOverlay.h"
#include "webmapkit/GMKShape.h"
#include "webmapkit/MapRegion.h"

// A circle of a radius in metres around a centre.
class GMKCircle : public GMKShape, public GMKOverlay {
public:
    static constexpr double kMetresPerDegree = 111000.0;

    GMKCircle(const MapCoordinate& center, double radius)
        : center_(center)
        , radius_(radius)
    {
    }
    static std::shared_ptr<GMKCircle> circleWithCenterCoordinate(const MapCoordinate& center, double radius)
    {
        return std::make_shared<GMKCircle>(center, radius);
    }

    MapCoordinate coordinate() const override { return center_; }
    double radius() const { return radius_; }
    // The centre with radius / 111000 degrees of span both ways.
    MapRegion region() const { return MapRegion{center_, radius_ / kMetresPerDegree, radius_ / kMetresPerDegree}; }

private:
    MapCoordinate center_;
    double radius_ = 0.0;
};
