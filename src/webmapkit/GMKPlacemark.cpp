#include "webmapkit/GMKPlacemark.h"

#include "webmapkit/GMKJsonObject.h"

#include <QStringList>

#include <algorithm>

namespace {

QString orNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("(null)") : text;
}

} // namespace

GMKPlacemark::GMKPlacemark(const MapCoordinate& coordinate, const QVariantMap& addressDictionary)
    : coordinate_(coordinate)
    , addressDictionary_(addressDictionary)
{
}

std::optional<GMKPlacemark> GMKPlacemark::fromWebGeocoderResult(const GMKJsonValue& result)
{
    const GMKJsonValue location = result.value(QStringLiteral("geometry")).value(QStringLiteral("location"));
    QStringList keys = location.toObject().keys();
    if (keys.size() != 2) {
        return std::nullopt;
    }
    // The services name the two values differently; their order in the
    // alphabet (lat before lng or lon) is what tells them apart.
    std::sort(keys.begin(), keys.end(),
        [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    const GMKJsonValue latitude = location.value(keys[0]);
    const GMKJsonValue longitude = location.value(keys[1]);
    if (!latitude.isNumber() || !longitude.isNumber()) {
        return std::nullopt;
    }
    GMKPlacemark placemark;
    placemark.coordinate_ = {latitude.toDouble(), longitude.toDouble()};
    for (const GMKJsonValue& component : result.value(QStringLiteral("address_components")).toArray()) {
        placemark.takeComponent(component);
    }
    return placemark;
}

void GMKPlacemark::takeComponent(const GMKJsonValue& component)
{
    const QString longName = component.value(QStringLiteral("long_name")).toString();
    const QString shortName = component.value(QStringLiteral("short_name")).toString();
    for (const GMKJsonValue& typeValue : component.value(QStringLiteral("types")).toArray()) {
        const QString type = typeValue.toString();
        if (type == QLatin1String("street_number")) {
            thoroughfare_ = longName;
        } else if (type == QLatin1String("route")) {
            // A street without a house number is still the street.
            thoroughfare_ = thoroughfare_.isEmpty() ? longName : thoroughfare_ + QLatin1Char(' ') + longName;
        } else if (type == QLatin1String("locality")) {
            locality_ = longName;
        } else if (type == QLatin1String("administrative_area_level_2")) {
            subAdministrativeArea_ = longName;
        } else if (type == QLatin1String("administrative_area_level_1")) {
            administrativeArea_ = shortName;
        } else if (type == QLatin1String("country")) {
            country_ = longName;
            countryCode_ = shortName;
        }
    }
}

QString GMKPlacemark::description() const
{
    return QString::asprintf("<GMKPlacemark: %p> (%f, %f) ", static_cast<const void*>(this), coordinate_.latitude,
               coordinate_.longitude)
        + QStringLiteral(
            "{thoroughfare: %1,\n subThoroughfare: %2,\n locality: %3,\n subLocality: %4,\n administrativeArea: %5,\n "
            "subAdministrativeArea: %6,\n postalCode: %7,\n country: %8,\n countryCode: %9\n}")
              .arg(orNull(thoroughfare_), orNull(subThoroughfare_), orNull(locality_), orNull(subLocality_),
                  orNull(administrativeArea_), orNull(subAdministrativeArea_), orNull(postalCode_), orNull(country_),
                  orNull(countryCode_));
}
