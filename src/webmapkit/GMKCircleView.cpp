#include "webmapkit/GMKCircleView.h"

void GMKCircleView::prepareDrawing(const ScriptObject& pageObject)
{
    if (const auto shape = circle()) {
        latlngCenter_ = pageCoordinate(pageObject, shape->coordinate());
    }
}

QMap<QString, QVariant> GMKCircleView::options() const
{
    QMap<QString, QVariant> all = GMKOverlayPathView::options();
    if (const auto shape = circle()) {
        all.insert(QStringLiteral("radius"), static_cast<float>(shape->radius()));
    }
    if (latlngCenter_.isValid()) {
        all.insert(QStringLiteral("center"), latlngCenter_);
    }
    return all;
}
