#include "webmapkit/GMKGeocoder.h"

GMKGeocoder::GMKGeocoder(const QString& address, QObject* parent, const QString& pagePath)
    : GeocoderPage(QStringLiteral("GMKGeocoder"), pagePath, parent)
    , address_(address)
{
}

GMKGeocoder::GMKGeocoder(const QString& address, const MapCoordinate& near, QObject* parent, const QString& pagePath)
    : GeocoderPage(QStringLiteral("GMKGeocoder"), pagePath, parent)
    , address_(address)
    , near_(near)
{
}

QVariant GMKGeocoder::sendToPage()
{
    QVariantList arguments{address_};
    if (near_) {
        arguments << near_->latitude << near_->longitude;
    }
    return host()->callFunction(QStringLiteral("geocode"), arguments);
}

void GMKGeocoder::didSucceedWithResult(const QString& json)
{
    const std::optional<GMKPlacemark> placemark = takeSuccess(json);
    if (!placemark) {
        return;
    }
    coordinate_ = placemark->coordinate();
    if (GMKGeocoderDelegate* target = delegate();
        target && target->responds(GMKGeocoderDelegate::Op::DidFindCoordinate)) {
        target->didFindCoordinate(this, coordinate_);
    }
}

void GMKGeocoder::reportFailure(const MapError& error)
{
    if (GMKGeocoderDelegate* target = delegate(); target && target->responds(GMKGeocoderDelegate::Op::DidFail)) {
        target->didFailWithError(this, error);
    }
}
