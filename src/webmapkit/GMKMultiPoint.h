#pragma once

#include "webmapkit/GMKShape.h"

#include <cstddef>
#include <optional>
#include <vector>

// A shape made of a list of coordinates, owned by the shape.
class GMKMultiPoint : public GMKShape {
public:
    const std::vector<MapCoordinate>& coordinates() const { return coordinates_; }
    std::size_t coordinateCount() const { return coordinates_.size(); }
    // The `length` coordinates from `location` on; nothing when the range does
    // not lie within the shape's coordinates.
    std::optional<std::vector<MapCoordinate>> getCoordinates(std::size_t location, std::size_t length) const;

protected:
    explicit GMKMultiPoint(std::vector<MapCoordinate> coordinates)
        : coordinates_(std::move(coordinates))
    {
    }

private:
    std::vector<MapCoordinate> coordinates_;
};
