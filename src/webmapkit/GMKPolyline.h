#pragma once

#include "webmapkit/GMKMultiPoint.h"
#include "webmapkit/GMKOverlay.h"

// An open line through its coordinates.
class GMKPolyline : public GMKMultiPoint, public GMKOverlay {
public:
    explicit GMKPolyline(std::vector<MapCoordinate> coordinates)
        : GMKMultiPoint(std::move(coordinates))
    {
    }
    static std::shared_ptr<GMKPolyline> polylineWithCoordinates(const MapCoordinate* coordinates, std::size_t count)
    {
        return std::make_shared<GMKPolyline>(std::vector<MapCoordinate>(coordinates, coordinates + count));
    }

    MapCoordinate coordinate() const override { return MapCoordinate{}; }
};
