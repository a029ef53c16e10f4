#include "foundation/AppInfo.h"
#include "gps/LocalSearchService.h"
#include "gps/TAVGPSViewController.h"
#include "gps/VXMapView.h"
#include "support/Gallery.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "webmapkit/GMKMapView.h"
#include "webmapkit/HttpTileSource.h"
#include "webmapkit/MapNetwork.h"
#include "webmapkit/MapSearchPacing.h"
#include "webmapkit/MapTestSupport.h"
#include "webmapkit/MapViewTestSupport.h"

#include <QBuffer>
#include <QJsonObject>
#include <QTest>

#include <gtest/gtest.h>

// The public map services as a normal build uses them, and the manners they
// ask of a client: its name and version, few connections, few searches.

namespace {

QByteArray solidPng(const QColor& colour)
{
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    tile.save(&buffer, "PNG");
    return bytes;
}

} // namespace

TEST(MapServicesTest, AReleaseBuildUsesThePublicServicesAndComposesTheStaticMap)
{
    const QJsonObject services = AppInfo::builtIn().value(QStringLiteral("MapServices")).toObject();
    EXPECT_EQ(services.value(QStringLiteral("TileURL")).toString(),
        QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png"));
    EXPECT_EQ(
        services.value(QStringLiteral("TileAttribution")).toString(), QStringLiteral("© OpenStreetMap contributors"));
    EXPECT_EQ(services.value(QStringLiteral("PlaceSearchURL")).toString(),
        QStringLiteral("https://nominatim.openstreetmap.org/search?format=json"));
    EXPECT_EQ(services.value(QStringLiteral("GeocoderURL")).toString(),
        QStringLiteral("https://nominatim.openstreetmap.org/search?format=json&addressdetails=1"));
    EXPECT_EQ(services.value(QStringLiteral("StaticMapURL")).toString(), QString()) << "composed from the tiles";
    EXPECT_EQ(services.value(QStringLiteral("SatelliteTileURL")).toString(), QString()) << "no free service";
    // The tests themselves ask none of them.
    EXPECT_EQ(AppInfo::mapServiceEndpoint(QStringLiteral("TileURL")), QString());
    EXPECT_EQ(AppInfo::mapServiceEndpoint(QStringLiteral("GeocoderURL")), QString());
}

TEST(MapServicesTest, NoRequestOfATestLeavesLoopback)
{
    std::optional<MapReply> answer;
    QObject context;
    MapNetwork::shared()->get(QUrl(QStringLiteral("http://192.0.2.7/tile.png")), QStringLiteral("test fetch"), &context,
        [&](const MapReply& reply) { answer = reply; });
    ASSERT_TRUE(QTest::qWaitFor([&]() { return answer.has_value(); }, kPatientMs));
    EXPECT_FALSE(answer->ok);
    ASSERT_EQ(LoopbackOnlyEnvironment::refused(), QStringList{QStringLiteral("http://192.0.2.7/tile.png")});
    // Proven; the run itself must end with none.
    LoopbackOnlyEnvironment::refused().clear();
}

TEST(MapServicesTest, SearchesTakeTurnsASecondApartCarryTheVersionAndAreAskedOnce)
{
    ManualMapClock clock;
    MapClock::setDefaultClock(&clock);
    MapSearchPacing::shared()->forget();
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    server.setHandler([](const LoopbackRequest& request) {
        return request.path() == QLatin1String("/places")
            ? LoopbackResponse::json(R"([{"boundingbox": ["48.0", "49.0", "9.0", "10.0"]}])")
            : LoopbackResponse::json(R"([{"lat": "48.5", "lon": "9.25"}])");
    });
    qputenv("LUMETTA_GEOCODERURL", server.url(QStringLiteral("/search")).toUtf8());
    {
        LocalSearchService places(server.url(QStringLiteral("/places")));
        GMKMapView page;
        ASSERT_TRUE(waitForLoad(page.host()));
        int answers = 0;
        const auto count = [&](const std::optional<MapRegion>& region) { answers += region ? 1 : 0; };
        places.search(QStringLiteral("Paris"), count);
        places.search(QStringLiteral("Lyon"), count);
        page.showAddress(QStringLiteral("Nice"),
            [&](int code, const QString&, const MapCoordinate&) { answers += code == 0 ? 1 : 0; });
        ASSERT_TRUE(server.waitForRequests(1));
        QTest::qWait(50);
        EXPECT_EQ(server.requestCount(), 1) << "the first goes at once, the others wait their turns";
        clock.advance(0.5);
        QTest::qWait(50);
        EXPECT_EQ(server.requestCount(), 1);
        clock.advance(0.5);
        ASSERT_TRUE(server.waitForRequests(2));
        clock.advance(1.0);
        ASSERT_TRUE(server.waitForRequests(3));
        ASSERT_TRUE(QTest::qWaitFor([&]() { return answers == 3; }, kPatientMs));
        EXPECT_EQ(server.requests().at(0).header("User-Agent"), "Lumetta/" + AppInfo::version().toUtf8());
        EXPECT_EQ(
            server.requests().at(2).header("User-Agent"), "Lumetta AppleWebKit Lumetta/" + AppInfo::version().toUtf8());

        // Asked again: answered from the session's answers, nothing is sent.
        clock.advance(5.0);
        places.search(QStringLiteral("Paris"), count);
        page.showAddress(QStringLiteral("Nice"),
            [&](int code, const QString&, const MapCoordinate&) { answers += code == 0 ? 1 : 0; });
        clock.advance(0.0);
        ASSERT_TRUE(QTest::qWaitFor([&]() { return answers == 5; }, kPatientMs));
        EXPECT_EQ(server.requestCount(), 3);
    }
    qputenv("LUMETTA_GEOCODERURL", "");
    MapClock::setDefaultClock(nullptr);
}

TEST(MapServicesTest, AtMostTwoTilesLoadAtOnceInTheWholeApplication)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    LoopbackResponse held;
    held.hold = true;
    server.setHandler([held](const LoopbackRequest&) { return held; });
    MapNetwork::shared()->clearCache();
    const QString tiles = server.url(QStringLiteral("/tiles/{z}/{x}/{y}.png"));
    VXMapView first(new HttpTileSource(tiles, QString(), QString()));
    VXMapView second(new HttpTileSource(tiles, QString(), QString()));
    for (VXMapView* map : {&first, &second}) {
        map->resize(600, 400);
        map->setCenterCoordinate(MapCoordinate{map == &first ? 10.0 : -40.0, 20.0}, 6u, false);
        map->show();
    }
    ASSERT_TRUE(server.waitForRequests(HttpTileSource::kMaxRunning));
    QTest::qWait(100);
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_EQ(HttpTileSource::runningInProcess(), 2);
    // As each ends the next starts, the other map's in its turn.
    server.answerHeld(0, LoopbackResponse::png(solidPng(Qt::white)));
    ASSERT_TRUE(server.waitForRequests(3));
    QTest::qWait(50);
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_EQ(HttpTileSource::runningInProcess(), 2);
}

TEST(MapServicesTest, TheDefaultGpsTabDrawsTheConfiguredTilesWithTheirCredit)
{
    // Configured as a normal build is, with a loopback server in the public service's place.
    const QColor sea(170, 211, 223);
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    server.setHandler([&](const LoopbackRequest&) { return LoopbackResponse::png(solidPng(sea)); });
    MapNetwork::shared()->clearCache();
    qputenv("LUMETTA_TILEURL", server.url(QStringLiteral("/{z}/{x}/{y}.png")).toUtf8());
    {
        TAVGPSViewController tab;
        tab.resize(900, 620);
        tab.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&tab, kPatientMs));
        ASSERT_TRUE(
            QTest::qWaitFor([&]() { return server.requestCount() > 0 && !tab.mapView()->isLoading(); }, kPatientMs));
        EXPECT_EQ(tab.mapView()->tileSource()->attribution(), QStringLiteral("© OpenStreetMap contributors"));
        const QImage map = tab.mapView()->grab().toImage();
        EXPECT_EQ(map.pixelColor(map.width() / 3, map.height() / 3), sea);
        const QColor credit = map.pixelColor(map.width() - 3, map.height() - 3);
        EXPECT_GT(credit.lightness(), sea.lightness()) << "the credit line at the bottom right";
        for (const LoopbackRequest& request : server.requests()) {
            EXPECT_TRUE(request.path().endsWith(QLatin1String(".png")));
        }
        EXPECT_TRUE(Gallery::capture(&tab, QStringLiteral("gps-tab-osm-tiles")));
    }
    qputenv("LUMETTA_TILEURL", "");
}

TEST(MapServicesTest, TilesComeFromTheDiskOnlyWhileTheirExpiryAllows)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    QList<QPair<QByteArray, QByteArray>> headers;
    server.setHandler([&](const LoopbackRequest&) {
        LoopbackResponse tile = LoopbackResponse::png(solidPng(Qt::white));
        tile.headers = headers;
        return tile;
    });
    MapNetwork::shared()->clearCache();
    const auto fetchTile = [&](const QUrl& url) {
        std::optional<MapReply> answer;
        QObject context;
        MapNetwork::Options options;
        options.useCache = true;
        MapNetwork::shared()->get(
            url, QStringLiteral("map tile"), &context, [&](const MapReply& reply) { answer = reply; }, options);
        EXPECT_TRUE(QTest::qWaitFor([&]() { return answer.has_value(); }, kPatientMs));
        if (answer && answer->ok) {
            MapNetwork::shared()->storeInCache(url, *answer);
        }
        return answer.value_or(MapReply{});
    };
    const struct {
        const char* name;
        QList<QPair<QByteArray, QByteArray>> headers;
        int requests;
    } cases[] = {
        {"fresh for a day", {{"Cache-Control", "max-age=86400"}}, 1},
        {"fresh until next year", {{"Expires", "Fri, 01 Jan 2100 00:00:00 GMT"}}, 1},
        {"stale at once", {{"Cache-Control", "max-age=0"}}, 2},
        {"expired long ago", {{"Expires", "Thu, 01 Jan 1970 00:00:00 GMT"}}, 2},
    };
    int index = 0;
    for (const auto& c : cases) {
        headers = c.headers;
        const int before = server.requestCount();
        const QUrl url(server.url(QStringLiteral("/%1/0/0.png").arg(++index)));
        EXPECT_TRUE(fetchTile(url).ok) << c.name;
        const MapReply again = fetchTile(url);
        EXPECT_TRUE(again.ok) << c.name;
        EXPECT_EQ(again.fromCache, c.requests == 1) << c.name;
        EXPECT_EQ(server.requestCount() - before, c.requests) << c.name;
    }
}
