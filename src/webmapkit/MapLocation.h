#pragma once

#include "webmapkit/MapCoordinate.h"

#include <algorithm>
#include <cmath>
#include <limits>

// One position fix of the user: a coordinate with its accuracy in metres. An
// accuracy that is unknown is NaN.
struct MapLocation {
    MapCoordinate coordinate;
    double horizontalAccuracy = std::numeric_limits<double>::quiet_NaN();
    double verticalAccuracy = std::numeric_limits<double>::quiet_NaN();

    // The radius of the accuracy circle: the larger known accuracy; unknown,
    // NaN or negative values count as 0.
    double radius() const
    {
        const auto usable = [](double value) { return std::isfinite(value) && value > 0.0 ? value : 0.0; };
        return std::max(usable(horizontalAccuracy), usable(verticalAccuracy));
    }
};
