#pragma once

#include <QHashFunctions>

#include <compare>

// One tile: zoom, column, row and the tile set (0 standard, 1 satellite; the map
// types share a set when they draw the same pictures).
struct TileKey {
    int zoom = 0;
    int x = 0;
    int y = 0;
    int set = 0;

    auto operator<=>(const TileKey&) const = default;
};

inline size_t qHash(const TileKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.zoom, key.x, key.y, key.set);
}
