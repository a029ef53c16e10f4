#pragma once

#include "webmapkit/GMKOverlayPathView.h"
#include "webmapkit/GMKPolygon.h"

// A polygon on the page ("webmap.Polygon"): "path", or "paths" (the outline
// first, then each hole) when it has holes. Page paths are made once.
class GMKPolygonView : public GMKOverlayPathView {
public:
    explicit GMKPolygonView(GMKPolygonPtr polygon)
        : GMKOverlayPathView(std::move(polygon))
    {
    }

    GMKPolygonPtr polygon() const { return std::dynamic_pointer_cast<GMKPolygon>(overlay()); }
    QString viewPrototypeName() const override { return QStringLiteral("webmap.Polygon"); }
    QMap<QString, QVariant> options() const override;

protected:
    void prepareDrawing(const ScriptObject& pageObject) override;

private:
    QVariantList path_;
    QVariantList interiorPaths_;
    bool drawn_ = false;
};
