#include "webmapkit/TileProjection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

double TileProjection::worldSize(int zoom)
{
    return kTileSize * std::ldexp(1.0, zoom);
}

QPointF TileProjection::toWorld(const MapCoordinate& coordinate, int zoom)
{
    const double size = worldSize(zoom);
    const double latitude = clampLatitude(coordinate.latitude) * std::numbers::pi / 180.0;
    const double x = (coordinate.longitude + 180.0) / 360.0 * size;
    const double y = (1.0 - std::log(std::tan(latitude) + 1.0 / std::cos(latitude)) / std::numbers::pi) / 2.0 * size;
    return {x, y};
}

MapCoordinate TileProjection::toCoordinate(const QPointF& world, int zoom)
{
    const double size = worldSize(zoom);
    const double longitude = world.x() / size * 360.0 - 180.0;
    const double latitude
        = std::atan(std::sinh(std::numbers::pi * (1.0 - 2.0 * world.y() / size))) * 180.0 / std::numbers::pi;
    return {clampLatitude(latitude), longitude};
}

double TileProjection::wrapLongitude(double longitude)
{
    if (!std::isfinite(longitude)) {
        return 0.0;
    }
    double wrapped = std::fmod(longitude + 180.0, 360.0);
    if (wrapped < 0.0) {
        wrapped += 360.0;
    }
    return wrapped - 180.0;
}

double TileProjection::clampLatitude(double latitude)
{
    if (!std::isfinite(latitude)) {
        return 0.0;
    }
    return std::clamp(latitude, -kMaxLatitude, kMaxLatitude);
}

double TileProjection::metresPerPixel(double latitude, int zoom)
{
    constexpr double kEarthRadius = 6378137.0;
    return std::cos(clampLatitude(latitude) * std::numbers::pi / 180.0) * 2.0 * std::numbers::pi * kEarthRadius
        / worldSize(zoom);
}

double TileProjection::longitudeSpan(int zoom, double width)
{
    return 360.0 / std::ldexp(1.0, zoom) * (width / kTileSize);
}
