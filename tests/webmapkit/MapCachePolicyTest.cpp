#include "webmapkit/MapCachePolicy.h"
#include "support/QtPrinters.h"

#include <QDateTime>

#include <gtest/gtest.h>

using Headers = QList<QPair<QByteArray, QByteArray>>;

TEST(MapCachePolicyTest, AStoredAnswerKeepsItsLifetimeAndEndToEndHeadersOnly)
{
    const QUrl url(QStringLiteral("http://127.0.0.1/tiles/1/0/0.png"));
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const auto kept = MapCachePolicy::metaDataFor(url,
        Headers{{"Content-Type", "image/png"}, {"Cache-Control", "public, Max-Age=3600"}, {"Connection", "keep-alive"},
            {"Set-Cookie", "id=1"}, {"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}});
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->url(), url);
    EXPECT_TRUE(kept->saveToDisk());
    EXPECT_GE(before.secsTo(kept->expirationDate()), 3599);
    EXPECT_LE(before.secsTo(kept->expirationDate()), 3601);
    EXPECT_EQ(kept->lastModified(), QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC));
    QList<QByteArray> names;
    for (const auto& header : kept->rawHeaders()) {
        names.append(header.first);
    }
    EXPECT_EQ(names, (QList<QByteArray>{"Content-Type", "Cache-Control", "Last-Modified"}));

    // Without max-age the Expires date holds; without either the cache decides.
    const auto expires = MapCachePolicy::metaDataFor(url, Headers{{"Expires", "Wed, 21 Oct 2037 07:28:00 GMT"}});
    ASSERT_TRUE(expires.has_value());
    EXPECT_EQ(expires->expirationDate(), QDateTime(QDate(2037, 10, 21), QTime(7, 28), Qt::UTC));
    EXPECT_FALSE(MapCachePolicy::metaDataFor(url, Headers{})->expirationDate().isValid());

    // An answer the server forbids to store is not kept.
    EXPECT_FALSE(MapCachePolicy::metaDataFor(url, Headers{{"cache-control", "max-age=60, no-store"}}).has_value());
}
