#include "webmapkit/HttpTileSource.h"

#include "foundation/AppInfo.h"
#include "webmapkit/MapImageDecoder.h"
#include "webmapkit/MapLog.h"
#include "webmapkit/MapNetwork.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QNetworkReply>

#include <QList>

#include <algorithm>

namespace {

// Every live source, in the order they were made; downloads start in turns.
QList<HttpTileSource*>& liveSources()
{
    static QList<HttpTileSource*> sources;
    return sources;
}

int& runningTotal()
{
    static int total = 0;
    return total;
}

} // namespace

HttpTileSource::HttpTileSource(
    const QString& tileTemplate, const QString& satelliteTemplate, const QString& attribution, QObject* parent)
    : TileSource(parent)
    , tileTemplate_(tileTemplate)
    , satelliteTemplate_(satelliteTemplate.isEmpty() ? tileTemplate : satelliteTemplate)
    , attribution_(attribution)
{
    liveSources().append(this);
}

HttpTileSource::~HttpTileSource()
{
    liveSources().removeOne(this);
    for (const QPointer<QNetworkReply>& reply : std::as_const(running_)) {
        MapNetwork::abandon(reply);
    }
    runningTotal() -= static_cast<int>(running_.size());
    running_.clear();
    // The others' waiting tiles take the freed turns.
    if (QCoreApplication::instance() != nullptr) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), []() { pumpAll(); }, Qt::QueuedConnection);
    }
}

int HttpTileSource::runningInProcess()
{
    return runningTotal();
}

HttpTileSource* HttpTileSource::fromAppInfo(QObject* parent)
{
    return new HttpTileSource(AppInfo::mapServiceEndpoint(QStringLiteral("TileURL")),
        AppInfo::mapServiceEndpoint(QStringLiteral("SatelliteTileURL")),
        AppInfo::mapServiceEndpoint(QStringLiteral("TileAttribution")), parent);
}

int HttpTileSource::tileSetFor(int mapType) const
{
    if (tileTemplate_.isEmpty()) {
        return -1;
    }
    // Without pictures of their own, satellite and hybrid draw the standard
    // tiles, and take them from the same caches.
    if (satelliteTemplate_ == tileTemplate_) {
        return 0;
    }
    // Types other than satellite (1) and hybrid (2) draw as the standard map.
    return mapType == 1 || mapType == 2 ? 1 : 0;
}

QString HttpTileSource::urlFor(const TileKey& key) const
{
    QString url = key.set == 1 ? satelliteTemplate_ : tileTemplate_;
    url.replace(QLatin1String("{z}"), QString::number(key.zoom));
    url.replace(QLatin1String("{x}"), QString::number(key.x));
    url.replace(QLatin1String("{y}"), QString::number(key.y));
    return url;
}

void HttpTileSource::request(const TileKey& key)
{
    if (running_.contains(key) || std::find(waiting_.begin(), waiting_.end(), key) != waiting_.end()) {
        return;
    }
    waiting_.push_back(key);
    pumpAll();
}

void HttpTileSource::cancel(const TileKey& key)
{
    const auto waiting = std::find(waiting_.begin(), waiting_.end(), key);
    if (waiting != waiting_.end()) {
        waiting_.erase(waiting);
        return;
    }
    const auto running = running_.find(key);
    if (running != running_.end()) {
        MapNetwork::abandon(running.value());
        running_.erase(running);
        --runningTotal();
        // On a later turn: the caller may be cancelling a whole view, and a
        // waiting tile started now might be the next one it cancels.
        QMetaObject::invokeMethod(
            this, []() { pumpAll(); }, Qt::QueuedConnection);
    }
}

void HttpTileSource::pumpAll()
{
    bool started = true;
    while (started && runningTotal() < kMaxRunning) {
        started = false;
        // A copy: a start that fails at once answers on a later turn, but a
        // source may still go away while this runs.
        const QList<HttpTileSource*> sources = liveSources();
        for (HttpTileSource* source : sources) {
            if (runningTotal() < kMaxRunning && liveSources().contains(source) && source->startNext()) {
                started = true;
            }
        }
    }
}

bool HttpTileSource::startNext()
{
    if (waiting_.empty()) {
        return false;
    }
    const TileKey key = waiting_.front();
    waiting_.pop_front();
    MapNetwork::Options options;
    options.useCache = true;
    options.maxBytes = kMaxTileBytes;
    const QUrl url(urlFor(key));
    // Counted before the call: an unusable template answers on a later turn.
    running_.insert(key, nullptr);
    ++runningTotal();
    running_[key] = MapNetwork::shared()->get(
        url, QStringLiteral("map tile"), this, [this, key, url](const MapReply& reply) { finish(key, url, reply); },
        options);
    return true;
}

void HttpTileSource::finish(const TileKey& key, const QUrl& url, const MapReply& reply)
{
    if (running_.remove(key) == 0) {
        return;
    }
    --runningTotal();
    const QImage image = reply.ok ? MapImageDecoder::decode(reply.body, kMaxTileSize) : QImage();
    if (image.isNull()) {
        if (reply.ok) {
            qCWarning(lcMap).noquote() << "network error: map tile" << url.toString() << "is no picture of at most"
                                       << kMaxTileSize.width() << "x" << kMaxTileSize.height() << "pixels";
        }
        emit tileFailed(key);
    } else {
        // Only a tile that decoded goes to the disk, so a bad answer is not
        // served again from there.
        MapNetwork::shared()->storeInCache(url, reply);
        emit tileReady(key, image);
    }
    pumpAll();
}
