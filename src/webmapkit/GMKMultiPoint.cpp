#include "webmapkit/GMKMultiPoint.h"

std::optional<std::vector<MapCoordinate>> GMKMultiPoint::getCoordinates(std::size_t location, std::size_t length) const
{
    // Written so that no sum can wrap around: a huge length is refused too.
    if (location > coordinates_.size() || length > coordinates_.size() - location) {
        return std::nullopt;
    }
    const auto first = coordinates_.begin() + static_cast<std::ptrdiff_t>(location);
    return std::vector<MapCoordinate>(first, first + static_cast<std::ptrdiff_t>(length));
}
