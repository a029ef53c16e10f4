#pragma once

#include "webmapkit/MapCoordinate.h"

#include <memory>

// A model object drawn as an overlay on a page-driven map.
class GMKOverlay {
public:
    virtual ~GMKOverlay() = default;
    virtual MapCoordinate coordinate() const = 0;
};

using GMKOverlayPtr = std::shared_ptr<GMKOverlay>;
