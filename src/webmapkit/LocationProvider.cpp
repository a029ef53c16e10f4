#include "webmapkit/LocationProvider.h"

#include "webmapkit/HttpLocationProvider.h"
#include "webmapkit/MapLog.h"

#include <QTimer>

std::unique_ptr<LocationProvider> LocationProvider::create(const QString& endpoint, QObject* parent)
{
    if (endpoint.isEmpty()) {
        return std::make_unique<NullLocationProvider>(parent);
    }
    return std::make_unique<HttpLocationProvider>(endpoint, parent);
}

void NullLocationProvider::start()
{
    qCWarning(lcMap) << "network error: user location has no endpoint configured";
    const int generation = ++generation_;
    QTimer::singleShot(0, this, [this, generation]() {
        if (generation == generation_) {
            emit didFail(MapError{errorDomain(), kErrorUnknown, QStringLiteral("no location service")});
        }
    });
}

void NullLocationProvider::stop()
{
    ++generation_;
}
