#pragma once

#include "webmapkit/MapCoordinate.h"

#include <QPointF>

// Web Mercator as the tile maps use it: at zoom z the world is 256 × 2^z pixels
// square, x growing east from longitude -180 and y growing south from the
// northern latitude limit.
class TileProjection {
public:
    static constexpr double kMaxLatitude = 85.0511287798066;
    static constexpr int kTileSize = 256;
    static constexpr int kMinZoom = 0;
    static constexpr int kMaxZoom = 19;

    static double worldSize(int zoom);
    static QPointF toWorld(const MapCoordinate& coordinate, int zoom);
    static MapCoordinate toCoordinate(const QPointF& world, int zoom);
    // Longitude into [-180, 180); latitude into the projection's limits.
    static double wrapLongitude(double longitude);
    static double clampLatitude(double latitude);
    // Ground metres per pixel at a latitude.
    static double metresPerPixel(double latitude, int zoom);
    // Degrees of longitude across `width` pixels: 360 / 2^zoom × width / 256.
    static double longitudeSpan(int zoom, double width);
};
