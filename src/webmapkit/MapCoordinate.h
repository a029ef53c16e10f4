#pragma once

// A place on the earth in degrees: latitude first, as every map interface here
// passes them.
struct MapCoordinate {
    double latitude = 0.0;
    double longitude = 0.0;

    bool operator==(const MapCoordinate&) const = default;
};
