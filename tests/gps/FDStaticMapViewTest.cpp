#include "gps/FDStaticMapView.h"
#include "foundation/AppInfo.h"
#include "support/Gallery.h"
#include "support/HostileAnswers.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"
#include "webmapkit/MapNetwork.h"
#include "webmapkit/MapTestSupport.h"
#include "webmapkit/MemoryTileSource.h"

#include <QBuffer>
#include <QLocale>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <clocale>
#include <memory>

namespace {

const QString kExpectedTarget = QStringLiteral(
    "/maps/api/staticmap?center=35.512501,139.750000&zoom=10&size=200x150&scale=2&sensor=false&visual_refresh=true"
    "&markers=35.512501,139.750000");

// A stand-in map picture in one main colour, with a few roads and a marker.
QByteArray mapPicture(const QColor& colour)
{
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255), 10));
    painter.drawLine(0, 80, 400, 220);
    painter.drawLine(150, 0, 250, 300);
    painter.setBrush(QColor(214, 40, 40));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(200, 150), 14, 14);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class FDStaticMapViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        ASSERT_TRUE(server.start());
    }
    void TearDown() override { MapClock::setDefaultClock(nullptr); }

    std::unique_ptr<FDStaticMapView> makeView(const QString& endpoint)
    {
        auto view = std::make_unique<FDStaticMapView>(endpoint);
        view->resize(200, 150);
        view->setScale(2);
        view->show();
        return view;
    }
    static void turns()
    {
        for (int i = 0; i < 5; ++i) {
            QTest::qWait(5);
        }
    }

    ManualMapClock clock;
    LoopbackHttpServer server;
};

} // namespace

TEST_F(FDStaticMapViewTest, AsksForTheExactPictureAndShowsIt)
{
    server.setHandler([](const LoopbackRequest&) { return LoopbackResponse::png(mapPicture(QColor(170, 211, 223))); });
    const auto view = makeView(server.url());
    view->setMapViewCenter(QPointF(35.5125, 139.75), true);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return view->hasPicture(); }, kPatientMs));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].target, kExpectedTarget.toLatin1());
    EXPECT_EQ(server.requests()[0].header("User-Agent"), QByteArray("Lumetta/") + AppInfo::version().toUtf8());
    EXPECT_EQ(view->pictureOpacity(), 1.0);
    EXPECT_TRUE(Gallery::capture(view.get(), QStringLiteral("static-map-picture")));

    // The numbers stay in the C locale under a locale that writes decimal commas.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(view->requestUrl(QPointF(35.5125, 139.75)), server.url(kExpectedTarget));
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, previous.c_str());
    if (!comma) {
        std::cout << "[ note ] no de_DE locale here; only Qt's default locale was switched\n";
    }

    view->hideMap(true);
    EXPECT_FALSE(view->hasPicture());
    EXPECT_EQ(view->pictureOpacity(), 1.0) << "the next picture shows at full strength";
}

TEST_F(FDStaticMapViewTest, FailedLoadsLeaveTheViewEmptyAtFullStrength)
{
    MapNetwork::shared()->setTransferTimeout(300);
    struct Case {
        const char* name;
        LoopbackResponse response;
        bool refused;
    };
    LoopbackResponse garbage;
    garbage.body = "this is not a picture";
    LoopbackResponse held;
    held.hold = true;
    const Case cases[] = {
        {"500", LoopbackResponse::json("{}", 500), false},
        {"garbage", garbage, false},
        {"held until the timeout", held, false},
        {"refused", LoopbackResponse{}, true},
        {"a 30000x30000 picture", LoopbackResponse::png(HostileAnswers::pngClaiming(30000, 30000)), false},
        {"endless", HostileAnswers::endless("image/png"), false},
        {"huge", HostileAnswers::huge(true, "image/png"), false},
    };
    for (const Case& c : cases) {
        server.setHandler([&](const LoopbackRequest&) { return c.response; });
        const auto view = makeView(c.refused ? LoopbackHttpServer::refusedUrl() : server.url());
        view->setMapViewCenter(QPointF(10, 20), true);
        EXPECT_EQ(view->pictureOpacity(), 0.0) << c.name;
        ASSERT_TRUE(QTest::qWaitFor([&]() { return view->pictureOpacity() == 1.0; }, kPatientMs)) << c.name;
        EXPECT_FALSE(view->hasPicture()) << c.name;
    }
    MapNetwork::shared()->setTransferTimeout(10000);
}

TEST_F(FDStaticMapViewTest, OnlyTheNewestRequestShowsAndHidingVoidsPendingOnes)
{
    server.setHandler([](const LoopbackRequest&) {
        LoopbackResponse response;
        response.hold = true;
        return response;
    });
    const auto view = makeView(server.url());
    view->setMapViewCenter(QPointF(1, 1), false);
    ASSERT_TRUE(server.waitForRequests(1));
    view->setMapViewCenter(QPointF(2, 2), false);
    ASSERT_TRUE(server.waitForRequests(2));
    server.answerHeld(1, LoopbackResponse::png(mapPicture(QColor(0, 200, 0))));
    ASSERT_TRUE(QTest::qWaitFor([&]() { return view->hasPicture(); }, kPatientMs));
    server.answerHeld(0, LoopbackResponse::png(mapPicture(QColor(0, 0, 200))));
    turns();
    EXPECT_EQ(view->picture().pixelColor(5, 5), QColor(0, 200, 0)) << "the older answer came last and lost";

    view->setMapViewCenter(QPointF(3, 3), false);
    ASSERT_TRUE(server.waitForRequests(3));
    view->hideMap(false);
    EXPECT_FALSE(view->hasPicture());
    server.answerHeld(0, LoopbackResponse::png(mapPicture(QColor(200, 0, 0))));
    turns();
    EXPECT_FALSE(view->hasPicture()) << "nothing shows after hideMap";
}

TEST_F(FDStaticMapViewTest, WithoutAnEndpointNothingIsAskedAndThePlaceholderStays)
{
    MapLogCapture log;
    const auto view = makeView(QString());
    view->setMapViewCenter(QPointF(35.5125, 139.75), true);
    turns();
    EXPECT_FALSE(view->hasPicture());
    EXPECT_EQ(view->pictureOpacity(), 1.0);
    EXPECT_EQ(log.count(QStringLiteral("network error")), 1);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_TRUE(Gallery::capture(view.get(), QStringLiteral("static-map-placeholder")));
}

TEST_F(FDStaticMapViewTest, WithoutAStaticMapServiceThePictureIsComposedFromTiles)
{
    const QColor tileColour(170, 210, 160);
    const auto view = makeView(QString());
    auto* tiles = new MemoryTileSource();
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(tileColour);
    tiles->setEveryTile(tile);
    tiles->setAttribution(QStringLiteral("© OpenStreetMap contributors"));
    view->setTileSource(tiles);
    view->setMapViewCenter(QPointF(35.5125, 139.75), false);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return view->hasPicture(); }, kPatientMs));
    EXPECT_EQ(server.requestCount(), 0) << "no static map service is asked";
    // Zoom 10 around the centre, as the service would draw it.
    ASSERT_FALSE(tiles->requested().isEmpty());
    EXPECT_EQ(tiles->requested().first().zoom, 10);
    const QImage picture = view->picture();
    EXPECT_EQ(picture.pixelColor(20, 20), tileColour);
    int red = 0;
    for (int y = 75 - 39; y < 75; ++y) {
        for (int x = 92; x < 108; ++x) {
            const QColor colour = picture.pixelColor(x, y);
            red += colour.red() > 150 && colour.green() < 90 && colour.blue() < 90 ? 1 : 0;
        }
    }
    EXPECT_GT(red, 20) << "a pin stands on the centre";
    EXPECT_GT(picture.pixelColor(198, 148).lightness(), tileColour.lightness()) << "the credit line";
    EXPECT_TRUE(Gallery::capture(view.get(), QStringLiteral("static-map-composed")));

    // A tile service that fails leaves the view empty, as a failed download does.
    const auto failing = makeView(QString());
    failing->setTileSource(new MemoryTileSource());
    failing->setMapViewCenter(QPointF(1, 2), true);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return failing->pictureOpacity() == 1.0; }, kPatientMs));
    EXPECT_FALSE(failing->hasPicture());
}
