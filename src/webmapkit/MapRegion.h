#pragma once

#include "webmapkit/MapCoordinate.h"

// A centre and the span around it, in degrees of latitude and longitude.
struct MapRegion {
    MapCoordinate center;
    double latitudeDelta = 0.0;
    double longitudeDelta = 0.0;

    bool operator==(const MapRegion&) const = default;
};
