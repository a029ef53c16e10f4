#include "gps/TileAnnotationView.h"

#include "webmapkit/MapResources.h"

TileAnnotationView::TileAnnotationView(GMKAnnotationPtr annotation, const QString& reuseIdentifier, Kind kind)
    : kind_(kind)
    , annotation_(std::move(annotation))
    , reuseIdentifier_(reuseIdentifier)
{
}

std::shared_ptr<TileAnnotationView> TileAnnotationView::defaultPin(GMKAnnotationPtr annotation)
{
    auto view = std::make_shared<TileAnnotationView>(std::move(annotation), QString());
    view->setImageNamed(QStringLiteral("MKPinAnnotationColorRed"));
    view->setCanShowCallout(true);
    return view;
}

void TileAnnotationView::setImageNamed(const QString& name)
{
    image_ = MapResources::picture(name);
}
