#pragma once

#include "webmapkit/GMKJsonValue.h"
#include "webmapkit/MapCoordinate.h"

#include <QString>
#include <QVariantMap>

#include <optional>

// A place found by a geocoder: its coordinate and the parts of its address.
class GMKPlacemark {
public:
    GMKPlacemark() = default;
    // Both stored as given; the address parts stay empty.
    GMKPlacemark(const MapCoordinate& coordinate, const QVariantMap& addressDictionary);

    // A place from one result of the page's geocoder: the coordinate from
    // "geometry.location" (its two keys in case-insensitive order give latitude
    // then longitude) and the address from "address_components". Nothing when
    // the location does not hold two numbers.
    static std::optional<GMKPlacemark> fromWebGeocoderResult(const GMKJsonValue& result);

    MapCoordinate coordinate() const { return coordinate_; }
    QVariantMap addressDictionary() const { return addressDictionary_; }
    QString thoroughfare() const { return thoroughfare_; }
    QString subThoroughfare() const { return subThoroughfare_; }
    QString locality() const { return locality_; }
    QString subLocality() const { return subLocality_; }
    QString administrativeArea() const { return administrativeArea_; }
    QString subAdministrativeArea() const { return subAdministrativeArea_; }
    QString postalCode() const { return postalCode_; }
    QString country() const { return country_; }
    QString countryCode() const { return countryCode_; }

    QString description() const;

private:
    void takeComponent(const GMKJsonValue& component);

    MapCoordinate coordinate_;
    QVariantMap addressDictionary_;
    QString thoroughfare_;
    QString subThoroughfare_;
    QString locality_;
    QString subLocality_;
    QString administrativeArea_;
    QString subAdministrativeArea_;
    QString postalCode_;
    QString country_;
    QString countryCode_;
};
