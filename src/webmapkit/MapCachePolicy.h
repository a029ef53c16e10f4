#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCacheMetaData>
#include <QPair>
#include <QUrl>

#include <optional>

// What the disk cache keeps of an answer that its owner checked and stores
// itself: the end-to-end headers, the last modification and the lifetime the
// server gave (Cache-Control max-age, else Expires), from which the cache
// decides later whether a stored answer is still fresh.
class MapCachePolicy {
public:
    // Nothing for an answer the server forbade to store ("no-store").
    static std::optional<QNetworkCacheMetaData> metaDataFor(
        const QUrl& url, const QList<QPair<QByteArray, QByteArray>>& headers);
};
