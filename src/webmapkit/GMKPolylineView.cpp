#include "webmapkit/GMKPolylineView.h"

GMKPolylineView::GMKPolylineView(std::shared_ptr<GMKPolyline> polyline)
    : GMKOverlayPathView(std::move(polyline))
{
    // A line has no inside.
    setFillColor(QColor(Qt::transparent));
}

void GMKPolylineView::prepareDrawing(const ScriptObject& pageObject)
{
    if (drawn_) {
        return;
    }
    drawn_ = true;
    if (const auto line = polyline()) {
        path_ = pagePath(pageObject, line->coordinates());
    }
}

QMap<QString, QVariant> GMKPolylineView::options() const
{
    QMap<QString, QVariant> all = GMKOverlayPathView::options();
    if (drawn_) {
        all.insert(QStringLiteral("path"), path_);
    }
    return all;
}
