#pragma once

#include "webmapkit/GMKAnnotation.h"

// The base of the map's shapes: a title and a subtitle, at (0, 0) unless the
// shape says otherwise.
class GMKShape : public GMKAnnotation {
public:
    MapCoordinate coordinate() const override { return MapCoordinate{}; }
    QString title() const override { return title_; }
    QString subtitle() const override { return subtitle_; }
    void setTitle(const QString& title) { title_ = title; }
    void setSubtitle(const QString& subtitle) { subtitle_ = subtitle; }

private:
    QString title_;
    QString subtitle_;
};
