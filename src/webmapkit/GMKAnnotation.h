#pragma once

#include "webmapkit/MapCoordinate.h"

#include <QString>

#include <memory>

// Anything placed on a map at a coordinate, with texts for its callout. Both map
// views (the tile map and the page-driven one) take annotations of this kind.
class GMKAnnotation {
public:
    virtual ~GMKAnnotation() = default;

    virtual MapCoordinate coordinate() const = 0;
    virtual QString title() const { return QString(); }
    virtual QString subtitle() const { return QString(); }

    // Whether the coordinate can be set, which is what lets a user drag it.
    virtual bool respondsToSetCoordinate() const { return false; }
    virtual void setCoordinate(const MapCoordinate&) { }
};

using GMKAnnotationPtr = std::shared_ptr<GMKAnnotation>;
