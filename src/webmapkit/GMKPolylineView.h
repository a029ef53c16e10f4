#pragma once

#include "webmapkit/GMKOverlayPathView.h"
#include "webmapkit/GMKPolyline.h"

// A polyline on the page ("webmap.Polyline"); its page path is made once.
class GMKPolylineView : public GMKOverlayPathView {
public:
    explicit GMKPolylineView(std::shared_ptr<GMKPolyline> polyline);

    std::shared_ptr<GMKPolyline> polyline() const { return std::dynamic_pointer_cast<GMKPolyline>(overlay()); }
    QString viewPrototypeName() const override { return QStringLiteral("webmap.Polyline"); }
    QMap<QString, QVariant> options() const override;

protected:
    void prepareDrawing(const ScriptObject& pageObject) override;

private:
    QVariantList path_;
    bool drawn_ = false;
};
