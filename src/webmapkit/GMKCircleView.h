#pragma once

#include "webmapkit/GMKCircle.h"
#include "webmapkit/GMKOverlayPathView.h"

// A circle on the page ("webmap.Circle"); its centre is made anew at every drawing.
class GMKCircleView : public GMKOverlayPathView {
public:
    explicit GMKCircleView(std::shared_ptr<GMKCircle> circle)
        : GMKOverlayPathView(std::move(circle))
    {
    }

    std::shared_ptr<GMKCircle> circle() const { return std::dynamic_pointer_cast<GMKCircle>(overlay()); }
    QString viewPrototypeName() const override { return QStringLiteral("webmap.Circle"); }
    QMap<QString, QVariant> options() const override;

protected:
    void prepareDrawing(const ScriptObject& pageObject) override;

private:
    QVariant latlngCenter_;
};
