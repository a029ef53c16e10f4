#include "webmapkit/MapCachePolicy.h"

#include <QDateTime>
#include <QLocale>

namespace {

// Headers about this one connection, and cookies, are no part of a stored answer.
bool isStoredHeader(const QByteArray& name)
{
    static const QList<QByteArray> hopByHop{
        "connection", "proxy-connection", "keep-alive", "te", "trailer", "transfer-encoding", "upgrade", "set-cookie"};
    return !hopByHop.contains(name.toLower());
}

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT").
QDateTime httpDate(const QByteArray& text)
{
    QDateTime date = QLocale::c().toDateTime(
        QString::fromLatin1(text.trimmed()), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    date.setTimeSpec(Qt::UTC);
    return date;
}

} // namespace

std::optional<QNetworkCacheMetaData> MapCachePolicy::metaDataFor(
    const QUrl& url, const QList<QPair<QByteArray, QByteArray>>& headers)
{
    QNetworkCacheMetaData metaData;
    metaData.setUrl(url);
    QNetworkCacheMetaData::RawHeaderList stored;
    std::optional<qint64> maxAge;
    QDateTime expires;
    for (const auto& [name, value] : headers) {
        if (!isStoredHeader(name)) {
            continue;
        }
        stored.append(qMakePair(name, value));
        const QByteArray lower = name.toLower();
        if (lower == "cache-control") {
            for (const QByteArray& directive : value.split(',')) {
                const QByteArray trimmed = directive.trimmed().toLower();
                if (trimmed == "no-store") {
                    return std::nullopt;
                }
                if (trimmed.startsWith("max-age=")) {
                    bool ok = false;
                    const qint64 seconds = trimmed.mid(8).toLongLong(&ok);
                    if (ok && seconds >= 0) {
                        maxAge = seconds;
                    }
                }
            }
        } else if (lower == "expires") {
            expires = httpDate(value);
        } else if (lower == "last-modified") {
            metaData.setLastModified(httpDate(value));
        }
    }
    metaData.setRawHeaders(stored);
    if (maxAge) {
        metaData.setExpirationDate(QDateTime::currentDateTimeUtc().addSecs(*maxAge));
    } else if (expires.isValid()) {
        metaData.setExpirationDate(expires);
    }
    metaData.setSaveToDisk(true);
    return metaData;
}
