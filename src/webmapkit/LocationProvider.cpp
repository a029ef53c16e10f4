#include "webmapkit/LocationProvider.h"

#include "webmapkit/DesktopLocationProvider.h"
#include "webmapkit/HttpLocationProvider.h"
#include "webmapkit/MapLog.h"

#include <QTimer>

std::unique_ptr<LocationProvider> LocationProvider::create(const QString& endpoint, QObject* parent)
{
    return create(endpoint, LocationBuses{}, parent);
}

std::unique_ptr<LocationProvider> LocationProvider::create(
    const QString& endpoint, const LocationBuses& buses, QObject* parent)
{
    if (!endpoint.isEmpty()) {
        return std::make_unique<HttpLocationProvider>(endpoint, parent);
    }
    if (std::unique_ptr<LocationProvider> desktop = DesktopLocationProvider::create(buses, parent)) {
        return desktop;
    }
    return std::make_unique<NullLocationProvider>(parent);
}

void NullLocationProvider::start()
{
    qCWarning(lcMap) << "network error: user location has no endpoint configured and no desktop location service";
    const int generation = ++generation_;
    QTimer::singleShot(0, this, [this, generation]() {
        if (generation == generation_) {
            emit didFail(MapError{errorDomain(), kErrorDenied, QStringLiteral("no location service")});
        }
    });
}

void NullLocationProvider::stop()
{
    ++generation_;
}
