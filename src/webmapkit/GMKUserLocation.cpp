#include "webmapkit/GMKUserLocation.h"

MapCoordinate GMKUserLocation::coordinate() const
{
    return location_ ? location_->coordinate : MapCoordinate{};
}

void GMKUserLocation::setLocation(const std::optional<MapLocation>& location)
{
    location_ = location;
    emit locationChanged();
}

void GMKUserLocation::setUpdating(bool updating)
{
    if (updating_ != updating) {
        updating_ = updating;
        emit updatingChanged();
    }
}
