#include "webmapkit/MapNetwork.h"

#include "foundation/AppInfo.h"
#include "webmapkit/MapLog.h"

#include <QAbstractNetworkCache>
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

} // namespace

MapNetwork::MapNetwork()
    : manager_(processUserAgent())
{
    auto* cache = new QNetworkDiskCache(&manager_);
    cache->setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/map-tiles"));
    cache->setMaximumCacheSize(kTileCacheBytes);
    manager_.setCache(cache);
}

MapNetwork* MapNetwork::shared()
{
    static MapNetwork* network = new MapNetwork();
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

QNetworkReply* MapNetwork::get(const QUrl& url, const QString& purpose, QObject* context, Done done, const Options& options)
{
    if (!MapAccessManager::isNetworkUrl(url)) {
        qCWarning(lcMap).noquote() << "network error:" << purpose << "has no usable endpoint"
                                   << (url.isEmpty() ? QStringLiteral("(none configured)") : url.toString());
        MapReply failed;
        failed.errorText = QStringLiteral("no endpoint");
        QTimer::singleShot(0, context != nullptr ? context : this, [done, failed]() { done(failed); });
        return nullptr;
    }
    QNetworkRequest request(url);
    if (!options.userAgent.isEmpty()) {
        request.setHeader(QNetworkRequest::UserAgentHeader, options.userAgent);
    }
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         options.useCache ? QNetworkRequest::PreferCache : QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, options.useCache);
    QByteArray agent = options.userAgent;
    QNetworkReply* reply = nullptr;
    if (agent.isEmpty()) {
        reply = manager_.get(request);
    } else {
        // The access manager stamps its own agent; swap it for this one request.
        const QByteArray own = manager_.userAgent();
        manager_.setUserAgent(agent);
        reply = manager_.get(request);
        manager_.setUserAgent(own);
    }
    QObject* receiver = context != nullptr ? context : this;
    connect(reply, &QNetworkReply::finished, receiver, [reply, done, purpose]() {
        MapReply answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.fromCache = reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool();
        answer.body = reply->isOpen() ? reply->readAll() : QByteArray();
        answer.ok = reply->error() == QNetworkReply::NoError && answer.status >= 200 && answer.status < 300;
        if (!answer.ok) {
            answer.errorText = reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                                         : QStringLiteral("HTTP status %1").arg(answer.status);
            qCInfo(lcMap).noquote() << "network error:" << purpose << reply->url().toString() << answer.errorText;
        }
        reply->deleteLater();
        done(answer);
    });
    // A request whose context goes away is not worth finishing.
    if (context != nullptr) {
        connect(context, &QObject::destroyed, reply, [reply]() { abandon(reply); });
    }
    return reply;
}

void MapNetwork::abandon(QNetworkReply* reply)
{
    if (reply == nullptr) {
        return;
    }
    QObject::disconnect(reply, &QNetworkReply::finished, nullptr, nullptr);
    reply->abort();
    reply->deleteLater();
}
