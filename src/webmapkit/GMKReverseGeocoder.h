#pragma once

#include "webmapkit/GMKGeocoderDelegate.h"
#include "webmapkit/GeocoderPage.h"

#include <optional>

// Finds the address of a coordinate, as a placemark, through the
// "reverseGeocode" function of a hidden map page of its own.
class GMKReverseGeocoder : public GeocoderPage {
    Q_OBJECT
public:
    explicit GMKReverseGeocoder(
        const MapCoordinate& coordinate, QObject* parent = nullptr, const QString& pagePath = QString());

    // A QObject that also derives from GMKReverseGeocoderDelegate; held weakly.
    void setDelegate(QObject* delegate) { delegate_ = delegate; }
    GMKReverseGeocoderDelegate* delegate() const { return dynamic_cast<GMKReverseGeocoderDelegate*>(delegate_.data()); }
    MapCoordinate coordinate() const { return coordinate_; }
    const std::optional<GMKPlacemark>& placemark() const { return placemark_; }

    // The page's success answer (the failures are the base's).
    Q_INVOKABLE void didSucceedWithAddress(const QString& json);

protected:
    QVariant sendToPage() override;
    void reportFailure(const MapError& error) override;

private:
    QPointer<QObject> delegate_;
    MapCoordinate coordinate_;
    std::optional<GMKPlacemark> placemark_;
};
