#include "webmapkit/HttpLocationProvider.h"

#include "webmapkit/MapNetwork.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

HttpLocationProvider::HttpLocationProvider(const QString& endpoint, QObject* parent)
    : LocationProvider(parent)
    , endpoint_(endpoint)
{
}

HttpLocationProvider::~HttpLocationProvider()
{
    stop();
}

void HttpLocationProvider::start()
{
    stop();
    reply_ = MapNetwork::shared()->get(endpoint_, QStringLiteral("user location"), this, [this](const MapReply& reply) {
        reply_ = nullptr;
        answer(reply.body, reply.ok, reply.errorText);
    });
}

void HttpLocationProvider::stop()
{
    MapNetwork::abandon(reply_);
    reply_ = nullptr;
}

void HttpLocationProvider::answer(const QByteArray& body, bool ok, const QString& errorText)
{
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    const QJsonValue latitude = object.value(QStringLiteral("latitude"));
    const QJsonValue longitude = object.value(QStringLiteral("longitude"));
    if (!ok || !latitude.isDouble() || !longitude.isDouble() || std::abs(latitude.toDouble()) > 90.0
        || std::abs(longitude.toDouble()) > 180.0) {
        emit didFail(MapError{errorDomain(), kErrorUnknown, ok ? QStringLiteral("unreadable location") : errorText});
        return;
    }
    MapLocation location;
    location.coordinate = MapCoordinate{latitude.toDouble(), longitude.toDouble()};
    const QJsonValue accuracy = object.value(QStringLiteral("accuracy"));
    if (accuracy.isDouble()) {
        location.horizontalAccuracy = accuracy.toDouble();
    }
    emit didUpdateLocation(location);
}
