#include "webmapkit/HttpTileSource.h"
#include "foundation/AppInfo.h"
#include "gps/MapTestDelegate.h"
#include "gps/TileMapTestSupport.h"
#include "gps/VXMapView.h"
#include "support/Gallery.h"
#include "support/HostileAnswers.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "support/ProcessMemory.h"
#include "support/QtPrinters.h"
#include "webmapkit/MapNetwork.h"
#include "webmapkit/MapTestSupport.h"

#include <QBuffer>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray pngOf(const TileKey& key)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    numberedTile(key).save(&buffer, "PNG");
    return bytes;
}

// Answers /tiles/z/x/y.png with a picture of the key; zooms in `failingZooms` get 404.
LoopbackResponse tileAnswer(const LoopbackRequest& request, const QSet<int>& failingZooms)
{
    const QStringList parts = request.path().split(QLatin1Char('/'));
    if (parts.size() != 5 || parts[1] != QLatin1String("tiles")) {
        return LoopbackResponse::json("{}", 404);
    }
    const TileKey key{parts[2].toInt(), parts[3].toInt(), QString(parts[4]).remove(QStringLiteral(".png")).toInt(), 0};
    if (failingZooms.contains(key.zoom)) {
        return LoopbackResponse::json("{}", 404);
    }
    return LoopbackResponse::png(pngOf(key));
}

class HttpTileSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        MapNetwork::shared()->clearCache();
        server.setHandler([this](const LoopbackRequest& request) { return tileAnswer(request, failingZooms); });
    }
    std::unique_ptr<VXMapView> makeMap(
        MapTestDelegate& delegate, const MapCoordinate& center, unsigned zoom, QSize size = {300, 200})
    {
        auto* source = new HttpTileSource(server.url(QStringLiteral("/tiles/{z}/{x}/{y}.png")), QString(),
            QStringLiteral("Tiles: loopback test server"));
        auto map = std::make_unique<VXMapView>(source);
        map->setMapDelegate(&delegate);
        map->resize(size);
        map->setCenterCoordinate(center, zoom, false);
        map->show();
        return map;
    }
    static bool waitForLoads(const MapTestDelegate& delegate, int ends)
    {
        return QTest::qWaitFor(
            [&]() {
                int count = 0;
                for (const QString& event : delegate.loadEvents()) {
                    count += event != QLatin1String("start") ? 1 : 0;
                }
                return count >= ends;
            },
            kPatientMs);
    }

    LoopbackHttpServer server;
    QSet<int> failingZooms;
};

} // namespace

TEST_F(HttpTileSourceTest, RequestsTheVisibleTilesByTheirExactPathsWithTheUserAgent)
{
    MapTestDelegate delegate;
    const auto map = makeMap(delegate, MapCoordinate{0, 0}, 3);
    ASSERT_TRUE(waitForLoads(delegate, 1));
    EXPECT_EQ(delegate.loadEvents(), (QStringList{"start", "finish"}));
    QSet<QString> paths;
    for (const LoopbackRequest& request : server.requests()) {
        paths.insert(request.path());
        EXPECT_EQ(request.header("User-Agent"), QByteArray("Lumetta/") + AppInfo::version().toUtf8());
    }
    EXPECT_EQ(paths, (QSet<QString>{"/tiles/3/3/3.png", "/tiles/3/4/3.png", "/tiles/3/3/4.png", "/tiles/3/4/4.png"}));
    EXPECT_EQ(server.requestCount(), 4);
    EXPECT_TRUE(Gallery::capture(map.get(), QStringLiteral("tile-map-loopback-tiles")));
}

TEST_F(HttpTileSourceTest, AFailedTileFailsTheLoadAndAGoodPanThenFinishes)
{
    failingZooms = {5};
    MapTestDelegate delegate;
    const auto map = makeMap(delegate, MapCoordinate{48, 9}, 5);
    ASSERT_TRUE(waitForLoads(delegate, 1));
    map->setCenterCoordinate(MapCoordinate{48, 9}, 6u, false);
    ASSERT_TRUE(waitForLoads(delegate, 2));
    EXPECT_EQ(delegate.loadEvents(), (QStringList{"start", "fail", "start", "finish"}));
}

TEST_F(HttpTileSourceTest, TheDiskCacheAnswersTheSecondViewAndADeadServerIsNotHammered)
{
    MapTestDelegate first;
    const auto map = makeMap(first, MapCoordinate{35.5, 139.7}, 9);
    ASSERT_TRUE(waitForLoads(first, 1));
    const int downloaded = server.requestCount();
    MapTestDelegate second;
    const auto again = makeMap(second, MapCoordinate{35.5, 139.7}, 9);
    ASSERT_TRUE(waitForLoads(second, 1));
    EXPECT_EQ(second.loadEvents(), (QStringList{"start", "finish"}));
    EXPECT_EQ(server.requestCount(), downloaded) << "the second view comes from the disk cache";

    failingZooms = {12};
    MapTestDelegate dead;
    const auto deadMap = makeMap(dead, MapCoordinate{-33.8, 151.2}, 12);
    ASSERT_TRUE(waitForLoads(dead, 1));
    const int before = server.requestCount();
    for (int pass = 0; pass < 5; ++pass) {
        deadMap->setCenterCoordinate(deadMap->centerCoordinate(), false);
        deadMap->repaint();
        QTest::qWait(20);
    }
    EXPECT_EQ(server.requestCount(), before) << "failed tiles in view are not asked for again";
    EXPECT_LE(before - downloaded, 6);
}

TEST_F(HttpTileSourceTest, AtMostTwoDownloadsRunAndTilesThatLeftTheViewAreAbandoned)
{
    server.setHandler([](const LoopbackRequest&) {
        LoopbackResponse held;
        held.hold = true;
        return held;
    });
    MapTestDelegate delegate;
    const auto map = makeMap(delegate, MapCoordinate{0, 0}, 4, QSize(900, 700));
    ASSERT_TRUE(server.waitForRequests(HttpTileSource::kMaxRunning));
    QTest::qWait(50);
    EXPECT_EQ(server.requestCount(), HttpTileSource::kMaxRunning);
    auto* source = static_cast<HttpTileSource*>(map->tileSource());
    EXPECT_EQ(source->runningCount(), HttpTileSource::kMaxRunning);

    // Far away at another zoom: every old request is abandoned, six new ones run.
    map->setCenterCoordinate(MapCoordinate{60, 100}, 10u, false);
    ASSERT_TRUE(server.waitForRequests(2 * HttpTileSource::kMaxRunning));
    QTest::qWait(50);
    EXPECT_EQ(server.requestCount(), 2 * HttpTileSource::kMaxRunning);
    for (const LoopbackRequest& request : server.requests().mid(HttpTileSource::kMaxRunning)) {
        EXPECT_TRUE(request.path().startsWith(QLatin1String("/tiles/10/"))) << request.path().toStdString();
    }
}

TEST_F(HttpTileSourceTest, AnswersThatAreNoTileFailAndAreNeverCached)
{
    QByteArray garbage(3000, '\0');
    for (int i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<char>(i * 37 % 251);
    }
    LoopbackResponse text = LoopbackResponse::png("<html>rate limited</html>");
    text.contentType = "text/html";
    const struct {
        const char* name;
        LoopbackResponse response;
    } cases[] = {
        {"text", text},
        {"garbage", LoopbackResponse::png(garbage)},
        {"a 30000x30000 picture", LoopbackResponse::png(HostileAnswers::pngClaiming(30000, 30000))},
        {"a 257x10000 picture", LoopbackResponse::png(HostileAnswers::pngClaiming(257, 10000))},
    };
    for (const auto& c : cases) {
        server.setHandler([&](const LoopbackRequest&) { return c.response; });
        const int before = server.requestCount();
        for (int pass = 0; pass < 2; ++pass) {
            MapLogCapture log;
            MapTestDelegate delegate;
            const auto map = makeMap(delegate, MapCoordinate{0, 0}, 3);
            ASSERT_TRUE(waitForLoads(delegate, 1)) << c.name;
            EXPECT_EQ(delegate.loadEvents(), (QStringList{"start", "fail"})) << c.name;
            EXPECT_EQ(server.requestCount(), before + 4 * (pass + 1))
                << c.name << ": asked again, not read from the cache";
            EXPECT_EQ(log.count(QStringLiteral("is no picture of at most 256 x 256 pixels")), 4) << c.name;
        }
    }
}

TEST_F(HttpTileSourceTest, EndlessAndHugeTilesStopAtTheirCapInBoundedMemory)
{
    for (const LoopbackResponse& response : {HostileAnswers::endless("image/png"),
             HostileAnswers::huge(true, "image/png"), HostileAnswers::huge(false, "image/png")}) {
        server.setHandler([&](const LoopbackRequest&) { return response; });
        MapLogCapture log;
        const qint64 baseline = ProcessMemory::residentBytes();
        const bool measured = ProcessMemory::resetPeak() && baseline > 0;
        MapTestDelegate delegate;
        // Eight tiles at once, as a wide map asks for them.
        const auto map = makeMap(delegate, MapCoordinate{0, 0}, 4, QSize(700, 200));
        ASSERT_TRUE(waitForLoads(delegate, 1));
        EXPECT_EQ(delegate.loadEvents(), (QStringList{"start", "fail"}));
        EXPECT_GE(log.count(QStringLiteral("network error: map tile")), 8);
        if (measured) {
            EXPECT_LT(ProcessMemory::peakBytes() - baseline, HostileAnswers::kMemoryBound);
        }
    }
}

TEST_F(HttpTileSourceTest, SatelliteWithoutItsOwnTilesDrawsTheCachedOnes)
{
    MapTestDelegate delegate;
    const auto map = makeMap(delegate, MapCoordinate{35.5, 139.7}, 9);
    ASSERT_TRUE(waitForLoads(delegate, 1));
    const int downloaded = server.requestCount();
    const QImage standard = map->grab().toImage();
    for (int type : {1, 2}) {
        map->setMapType(type);
        map->repaint();
        QTest::qWait(50);
        EXPECT_EQ(server.requestCount(), downloaded) << "map type " << type;
        EXPECT_EQ(map->grab().toImage(), standard) << "map type " << type;
    }
}

TEST(HttpTileSourceTemplateTest, SatelliteAndHybridUseTheirOwnTemplateOrThePlainOne)
{
    HttpTileSource both(
        QStringLiteral("http://h/{z}/{x}/{y}.png"), QStringLiteral("http://s/{z}-{x}-{y}.jpg"), QString());
    HttpTileSource plainOnly(QStringLiteral("http://h/{z}/{x}/{y}.png"), QString(), QString());
    HttpTileSource none{QString(), QStringLiteral("http://s/{z}-{x}-{y}.jpg"), QString()};
    const int mapTypes[] = {0, 1, 2, 3, 7};
    const int sets[] = {0, 1, 1, 0, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(both.tileSetFor(mapTypes[i]), sets[i]) << mapTypes[i];
        EXPECT_EQ(none.tileSetFor(mapTypes[i]), -1) << "no template draws the graticule";
    }
    EXPECT_EQ(both.urlFor(TileKey{12, 3638, 1612, 1}), QStringLiteral("http://s/12-3638-1612.jpg"));
    EXPECT_EQ(both.urlFor(TileKey{12, 3638, 1612, 0}), QStringLiteral("http://h/12/3638/1612.png"));
    EXPECT_EQ(plainOnly.urlFor(TileKey{3, 1, 2, 1}), QStringLiteral("http://h/3/1/2.png"));
    for (int mapType : mapTypes) {
        EXPECT_EQ(plainOnly.tileSetFor(mapType), 0) << "one set of tiles for every type";
    }
}
