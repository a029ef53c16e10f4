#include "gps/LocalSearchService.h"

#include "foundation/AppInfo.h"
#include "webmapkit/MapClock.h"
#include "webmapkit/MapNetwork.h"
#include "webmapkit/MapSearchPacing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QUrl>
#include <QUrlQuery>

#include <cmath>

namespace {

// Services write the numbers as JSON numbers or as C-locale texts.
std::optional<double> numberIn(const QJsonValue& value)
{
    if (value.isDouble()) {
        return value.toDouble();
    }
    bool ok = false;
    const double number = value.toString().toDouble(&ok);
    return ok && std::isfinite(number) ? std::optional<double>(number) : std::nullopt;
}

} // namespace

LocalSearchService::LocalSearchService(const QString& endpoint, QObject* parent)
    : QObject(parent)
    , endpoint_(endpoint)
{
}

LocalSearchService* LocalSearchService::fromAppInfo(QObject* parent)
{
    return new LocalSearchService(AppInfo::mapServiceEndpoint(QStringLiteral("PlaceSearchURL")), parent);
}

void LocalSearchService::search(const QString& text, Completion completion)
{
    QUrl url;
    if (!endpoint_.isEmpty()) {
        url = QUrl(endpoint_);
        QUrlQuery query(url);
        query.addQueryItem(QStringLiteral("q"), QString(text).replace(QLatin1Char('+'), QStringLiteral("%2B")));
        url.setQuery(query);
    }
    MapSearchPacing* pacing = MapSearchPacing::shared();
    const QString key = url.toString();
    const QVariant kept = url.isEmpty() ? QVariant() : pacing->cachedAnswer(key);
    if (kept.isValid()) {
        const QByteArray body = kept.toString().toUtf8();
        QMetaObject::invokeMethod(
            this, [completion, body]() { completion(regionFromAnswer(body)); }, Qt::QueuedConnection);
        return;
    }
    auto send = [this, url, key, completion]() {
        MapNetwork::shared()->get(url, QStringLiteral("place search"), this, [key, completion](const MapReply& reply) {
            const std::optional<MapRegion> region = reply.ok ? regionFromAnswer(reply.body) : std::nullopt;
            // An answer the service gave (a place or none) is not asked for again.
            if (reply.ok && (region || QJsonDocument::fromJson(reply.body).isArray())) {
                MapSearchPacing::shared()->keepAnswer(key, QString::fromUtf8(reply.body));
            }
            completion(region);
        });
    };
    const double wait = url.isEmpty() ? 0.0 : pacing->reserve();
    if (wait > 0.0) {
        MapClock::defaultClock()->callAfter(wait, this, send);
    } else {
        send();
    }
}

std::optional<MapRegion> LocalSearchService::regionFromAnswer(const QByteArray& body)
{
    const QJsonArray places = QJsonDocument::fromJson(body).array();
    if (places.isEmpty()) {
        return std::nullopt;
    }
    const QJsonArray box = places.first().toObject().value(QStringLiteral("boundingbox")).toArray();
    if (box.size() != 4) {
        return std::nullopt;
    }
    const auto south = numberIn(box[0]);
    const auto north = numberIn(box[1]);
    const auto west = numberIn(box[2]);
    const auto east = numberIn(box[3]);
    if (!south || !north || !west || !east || *south > *north || std::abs(*south) > 90.0 || std::abs(*north) > 90.0
        || std::abs(*west) > 180.0 || std::abs(*east) > 180.0) {
        return std::nullopt;
    }
    // A box across the date line has its west edge east of its east edge.
    const double width = *east >= *west ? *east - *west : *east + 360.0 - *west;
    double centre = *west + width / 2.0;
    if (centre >= 180.0) {
        centre -= 360.0;
    }
    return MapRegion{MapCoordinate{(*south + *north) / 2.0, centre}, *north - *south, width};
}
