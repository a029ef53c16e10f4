#include "webmapkit/MapNetwork.h"

#include "foundation/AppInfo.h"
#include "webmapkit/MapCachePolicy.h"
#include "webmapkit/MapLog.h"
#include "webmapkit/MapReplyGuard.h"

#include <QAbstractNetworkCache>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QTimer>

namespace {

constexpr qint64 kTileCacheBytes = 200LL * 1024 * 1024;

QByteArray processUserAgent()
{
    return QByteArray("Lumetta/") + AppInfo::version().toUtf8();
}

MapNetwork*& sharedNetwork()
{
    static MapNetwork* network = nullptr;
    return network;
}

// The access manager moves bytes on a thread of its own, which must end before
// the application object does: left running, it delivers the closing of a
// connection (a tile abandoned as the window closed) through an application
// that is halfway gone, and the process crashes as it quits. Post routines run
// first thing in the application's destructor.
void endSharedNetwork()
{
    delete sharedNetwork();
    sharedNetwork() = nullptr;
}

} // namespace

MapNetwork::MapNetwork()
    : manager_(processUserAgent())
{
    auto* cache = new QNetworkDiskCache(&manager_);
    cache->setCacheDirectory(
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/map-tiles"));
    cache->setMaximumCacheSize(kTileCacheBytes);
    manager_.setCache(cache);
}

MapNetwork* MapNetwork::shared()
{
    MapNetwork*& network = sharedNetwork();
    if (network == nullptr) {
        network = new MapNetwork();
        qAddPostRoutine(endSharedNetwork);
    }
    return network;
}

QByteArray MapNetwork::userAgent() const
{
    return manager_.userAgent();
}

MapAccessManager* MapNetwork::createAccessManager(const QByteArray& userAgent, QObject* parent)
{
    return new MapAccessManager(userAgent.isEmpty() ? processUserAgent() : userAgent, parent);
}

void MapNetwork::storeInCache(const QUrl& url, const MapReply& reply)
{
    QAbstractNetworkCache* cache = manager_.cache();
    if (cache == nullptr || !reply.ok || reply.fromCache) {
        return;
    }
    const std::optional<QNetworkCacheMetaData> metaData = MapCachePolicy::metaDataFor(url, reply.headers);
    if (!metaData) {
        return;
    }
    QIODevice* device = cache->prepare(*metaData);
    if (device == nullptr) {
        return;
    }
    if (device->write(reply.body) == reply.body.size()) {
        cache->insert(device);
    } else {
        cache->remove(url);
    }
}

bool MapNetwork::isFreshInCache(const QUrl& url) const
{
    QAbstractNetworkCache* cache = manager_.cache();
    if (cache == nullptr) {
        return false;
    }
    const QDateTime expires = cache->metaData(url).expirationDate();
    return expires.isValid() && QDateTime::currentDateTimeUtc() < expires;
}

void MapNetwork::clearCache()
{
    if (manager_.cache() != nullptr) {
        manager_.cache()->clear();
    }
}

QNetworkReply* MapNetwork::get(const QUrl& url, const QString& purpose, QObject* context, Done done)
{
    return get(url, purpose, context, std::move(done), Options{});
}

QNetworkReply* MapNetwork::get(
    const QUrl& url, const QString& purpose, QObject* context, Done done, const Options& options)
{
    if (!MapAccessManager::isNetworkUrl(url)) {
        qCWarning(lcMap).noquote() << "network error:" << purpose << "has no usable endpoint"
                                   << (url.isEmpty() ? QStringLiteral("(none configured)") : url.toString());
        MapReply failed;
        failed.errorText = QStringLiteral("no endpoint");
        QTimer::singleShot(0, context != nullptr ? context : this, [done, failed]() { done(failed); });
        return nullptr;
    }
    QNetworkReply* reply = send(url, purpose, context, std::move(done), options, Hop{});
    // A request whose context goes away is not worth finishing.
    if (context != nullptr) {
        connect(context, &QObject::destroyed, reply, [reply]() { abandon(reply); });
    }
    return reply;
}

QNetworkReply* MapNetwork::send(
    const QUrl& url, const QString& purpose, QObject* context, Done done, const Options& options, const Hop& hop)
{
    QNetworkRequest request(url);
    if (!options.userAgent.isEmpty()) {
        request.setHeader(QNetworkRequest::UserAgentHeader, options.userAgent);
    }
    // A cached answer is used only while its expiry allows (Qt's own rules
    // serve a stale one); a stale one is asked for again.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
        options.useCache && isFreshInCache(url) ? QNetworkRequest::PreferCache : QNetworkRequest::AlwaysNetwork);
    // The owner stores an answer once it has checked it.
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(MapAccessManager::kMaxBytesAttribute, options.maxBytes);
    request.setAttribute(MapAccessManager::kPurposeAttribute, purpose);
    QNetworkReply* reply = nullptr;
    if (options.userAgent.isEmpty()) {
        reply = manager_.get(request);
    } else {
        // The access manager stamps its own agent; swap it for this one request.
        const QByteArray own = manager_.userAgent();
        manager_.setUserAgent(options.userAgent);
        reply = manager_.get(request);
        manager_.setUserAgent(own);
    }
    // The first reply stays its caller's handle to the whole request: the
    // later ones of its redirects go with it (abandon, deletion).
    QPointer<QNetworkReply> handle = hop.handle ? hop.handle.data() : reply;
    if (handle != reply) {
        reply->setParent(handle);
    }
    QObject* receiver = context != nullptr ? context : this;
    // Read as it comes: the reply fetches no more than its read-ahead until read.
    auto body = std::make_shared<QByteArray>();
    // A reply the guard stopped is closed: nothing more to take.
    connect(reply, &QNetworkReply::readyRead, receiver, [reply, body]() {
        if (reply->isOpen()) {
            *body += reply->readAll();
        }
    });
    connect(
        reply, &QNetworkReply::finished, receiver, [this, reply, handle, hop, purpose, context, done, options, body]() {
            const QUrl next = redirectTarget(reply, hop.count);
            if (!next.isEmpty() && handle) {
                if (reply != handle) {
                    reply->deleteLater();
                }
                send(next, purpose, context, done, options, Hop{handle, hop.count + 1});
                return;
            }
            (handle ? handle.data() : reply)->deleteLater();
            done(answerOf(reply, purpose, body, options.useCache));
        });
    return reply;
}

QUrl MapNetwork::redirectTarget(QNetworkReply* reply, int hops)
{
    const QVariant target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (!target.isValid() || !MapReplyGuard::refusal(reply).isEmpty()
        || hops >= reply->request().maximumRedirectsAllowed()) {
        return {};
    }
    const QUrl next = reply->url().resolved(target.toUrl());
    // Never from an encrypted connection to a plain one; such an answer, or
    // one past the most redirects, fails with its own status.
    const bool lessSafe = reply->url().scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0
        && next.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
    return lessSafe ? QUrl() : next;
}

MapReply MapNetwork::answerOf(
    QNetworkReply* reply, const QString& purpose, const std::shared_ptr<QByteArray>& body, bool keepHeaders)
{
    MapReply answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.fromCache = reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool();
    const QString refusal = MapReplyGuard::refusal(reply);
    if (!refusal.isEmpty()) {
        // The guard logged it; what arrived up to the cap is dropped.
        answer.errorText = refusal;
        return answer;
    }
    if (reply->isOpen()) {
        *body += reply->readAll();
    }
    answer.body = std::move(*body);
    answer.ok = reply->error() == QNetworkReply::NoError && answer.status >= 200 && answer.status < 300;
    if (!answer.ok) {
        answer.body.clear();
        answer.errorText = reply->error() != QNetworkReply::NoError
            ? reply->errorString()
            : QStringLiteral("HTTP status %1").arg(answer.status);
        qCInfo(lcMap).noquote() << "network error:" << purpose << reply->url().toString() << answer.errorText;
    } else if (keepHeaders) {
        answer.headers = reply->rawHeaderPairs();
    }
    return answer;
}

void MapNetwork::abandon(QNetworkReply* reply)
{
    if (reply == nullptr) {
        return;
    }
    // A followed redirect's later replies are its children.
    for (QNetworkReply* hop : reply->findChildren<QNetworkReply*>(Qt::FindDirectChildrenOnly)) {
        QObject::disconnect(hop, &QNetworkReply::finished, nullptr, nullptr);
        hop->abort();
    }
    QObject::disconnect(reply, &QNetworkReply::finished, nullptr, nullptr);
    reply->abort();
    reply->deleteLater();
}
