#include "webmapkit/GMKPinAnnotationView.h"

#include "webmapkit/MapResources.h"

GMKPinAnnotationView::GMKPinAnnotationView(GMKAnnotationPtr annotation, const QString& reuseIdentifier)
    : GMKAnnotationView(std::move(annotation), reuseIdentifier)
{
    setCanShowCallout(true);
}

QString GMKPinAnnotationView::imageUrl() const
{
    switch (pinColor_) {
    case Green:
        return MapResources::pictureUrl(QStringLiteral("GMKPinAnnotationColorGreen"));
    case Purple:
        return MapResources::pictureUrl(QStringLiteral("GMKPinAnnotationColorPurple"));
    default:
        return MapResources::pictureUrl(QStringLiteral("GMKPinAnnotationColorRed"));
    }
}
