#pragma once

#include "webmapkit/GMKGeocoderDelegate.h"
#include "webmapkit/GeocoderPage.h"

#include <optional>

// Finds the coordinate of an address, optionally near a given coordinate,
// through the "geocode" function of a hidden map page of its own.
class GMKGeocoder : public GeocoderPage {
    Q_OBJECT
public:
    explicit GMKGeocoder(const QString& address, QObject* parent = nullptr, const QString& pagePath = QString());
    GMKGeocoder(const QString& address, const MapCoordinate& near, QObject* parent = nullptr,
        const QString& pagePath = QString());

    // A QObject that also derives from GMKGeocoderDelegate; held weakly.
    void setDelegate(QObject* delegate) { delegate_ = delegate; }
    GMKGeocoderDelegate* delegate() const { return dynamic_cast<GMKGeocoderDelegate*>(delegate_.data()); }
    QString address() const { return address_; }
    MapCoordinate coordinate() const { return coordinate_; }

    // The page's success answer (the failures are the base's).
    Q_INVOKABLE void didSucceedWithResult(const QString& json);

protected:
    QVariant sendToPage() override;
    void reportFailure(const MapError& error) override;

private:
    QPointer<QObject> delegate_;
    QString address_;
    std::optional<MapCoordinate> near_;
    MapCoordinate coordinate_;
};
