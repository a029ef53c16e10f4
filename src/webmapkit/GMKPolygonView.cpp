#include "webmapkit/GMKPolygonView.h"

void GMKPolygonView::prepareDrawing(const ScriptObject& pageObject)
{
    if (drawn_) {
        return;
    }
    drawn_ = true;
    const GMKPolygonPtr shape = polygon();
    if (shape == nullptr) {
        return;
    }
    path_ = pagePath(pageObject, shape->coordinates());
    for (const GMKPolygonPtr& interior : shape->interiorPolygons()) {
        interiorPaths_.append(QVariant(pagePath(pageObject, interior->coordinates())));
    }
}

QMap<QString, QVariant> GMKPolygonView::options() const
{
    QMap<QString, QVariant> all = GMKOverlayPathView::options();
    if (!interiorPaths_.isEmpty()) {
        QVariantList paths{QVariant(path_)};
        paths.append(interiorPaths_);
        all.insert(QStringLiteral("paths"), paths);
    } else if (drawn_) {
        all.insert(QStringLiteral("path"), path_);
    }
    return all;
}
