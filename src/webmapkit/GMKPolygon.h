#pragma once

#include "webmapkit/GMKMultiPoint.h"
#include "webmapkit/GMKOverlay.h"

#include <QList>

#include <memory>

class GMKPolygon;
using GMKPolygonPtr = std::shared_ptr<GMKPolygon>;

// A closed area with its outline and the holes cut out of it.
class GMKPolygon : public GMKMultiPoint, public GMKOverlay {
public:
    explicit GMKPolygon(std::vector<MapCoordinate> coordinates, QList<GMKPolygonPtr> interiorPolygons = {})
        : GMKMultiPoint(std::move(coordinates))
        , interiorPolygons_(std::move(interiorPolygons))
    {
    }
    static GMKPolygonPtr polygonWithCoordinates(
        const MapCoordinate* coordinates, std::size_t count, QList<GMKPolygonPtr> interiorPolygons = {})
    {
        return std::make_shared<GMKPolygon>(
            std::vector<MapCoordinate>(coordinates, coordinates + count), std::move(interiorPolygons));
    }

    MapCoordinate coordinate() const override { return MapCoordinate{}; }
    const QList<GMKPolygonPtr>& interiorPolygons() const { return interiorPolygons_; }

private:
    QList<GMKPolygonPtr> interiorPolygons_;
};
