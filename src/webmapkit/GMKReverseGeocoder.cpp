#include "webmapkit/GMKReverseGeocoder.h"

GMKReverseGeocoder::GMKReverseGeocoder(const MapCoordinate& coordinate, QObject* parent, const QString& pagePath)
    : GeocoderPage(QStringLiteral("GMKReverseGeocoder"), pagePath, parent)
    , coordinate_(coordinate)
{
}

QVariant GMKReverseGeocoder::sendToPage()
{
    const QVariant self = host()->evaluate(QStringLiteral("window.GMKReverseGeocoder"));
    return host()->callFunction(QStringLiteral("reverseGeocode"), {coordinate_.latitude, coordinate_.longitude, self});
}

void GMKReverseGeocoder::didSucceedWithAddress(const QString& json)
{
    std::optional<GMKPlacemark> found = takeSuccess(json);
    if (!found) {
        return;
    }
    placemark_ = std::move(found);
    if (GMKReverseGeocoderDelegate* target = delegate();
        target && target->responds(GMKReverseGeocoderDelegate::Op::DidFindPlacemark)) {
        target->didFindPlacemark(this, *placemark_);
    }
}

void GMKReverseGeocoder::reportFailure(const MapError& error)
{
    if (GMKReverseGeocoderDelegate* target = delegate();
        target && target->responds(GMKReverseGeocoderDelegate::Op::DidFail)) {
        target->didFailWithError(this, error);
    }
}
