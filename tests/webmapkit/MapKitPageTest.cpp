#include "foundation/AppInfo.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "webmapkit/GMKCircle.h"
#include "webmapkit/GMKCircleView.h"
#include "webmapkit/GMKGeocoder.h"
#include "webmapkit/GMKPinAnnotationView.h"
#include "webmapkit/GMKPointAnnotation.h"
#include "webmapkit/GMKReverseGeocoder.h"
#include "webmapkit/MapSearchPacing.h"
#include "webmapkit/MapTestSupport.h"
#include "webmapkit/MapViewTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

// The built-in map page, driven through the real map view and geocoders, with
// a geocoding service on loopback.

namespace {

struct Answer {
    int code = -99;
    QString address;
    MapCoordinate coordinate;
};

const QByteArray kStuttgart
    = R"([{"lat": "48.5", "lon": "9.25", "address": {"house_number": "12", "road": "High Street",
    "town": "Stuttgart", "county": "Region Stuttgart", "state": "Baden-Wuerttemberg", "country": "Germany", "country_code": "de"}}])";

class MapKitPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        MapSearchPacing::shared()->forget();
        ASSERT_TRUE(server.start());
        server.setHandler([this](const LoopbackRequest&) { return answer; });
        useEndpoint(server.url(QStringLiteral("/search")));
    }
    void TearDown() override
    {
        qputenv("LUMETTA_GEOCODERURL", "");
        MapClock::setDefaultClock(nullptr);
    }
    static void useEndpoint(const QString& url) { qputenv("LUMETTA_GEOCODERURL", url.toUtf8()); }

    // A loaded map view of the built-in page.
    std::unique_ptr<GMKMapView> makeView()
    {
        auto view = std::make_unique<GMKMapView>();
        EXPECT_TRUE(waitForLoad(view->host()));
        return view;
    }
    Answer search(GMKMapView& view, const QString& address)
    {
        Answer result;
        view.showAddress(address, [&](int code, const QString& text, const MapCoordinate& at) {
            result = Answer{code, text, at};
        });
        // The next search's turn comes a second later.
        clock.advance(MapSearchPacing::kSpacingSeconds);
        (void)QTest::qWaitFor([&]() { return result.code != -99; }, kPatientMs);
        return result;
    }

    ManualMapClock clock;
    LoopbackHttpServer server;
    LoopbackResponse answer = LoopbackResponse::json(kStuttgart);
};

} // namespace

TEST_F(MapKitPageTest, AnAddressSearchAsksTheServiceAndAnswersWithItsCode)
{
    auto view = makeView();
    const Answer found = search(*view, QStringLiteral("Main Street"));
    EXPECT_EQ(found.code, 0);
    EXPECT_EQ(found.address, QStringLiteral("Main Street"));
    EXPECT_EQ(found.coordinate, (MapCoordinate{48.5, 9.25}));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests().at(0).target, QByteArray("/search?q=Main%20Street"));
    EXPECT_EQ(
        server.requests().at(0).header("User-Agent"), "Lumetta AppleWebKit Lumetta/" + AppInfo::version().toUtf8());

    const struct {
        LoopbackResponse response;
        int code;
    } cases[] = {
        {LoopbackResponse::json("[]"), 1},
        {LoopbackResponse::json("{}", 500), 2},
        {LoopbackResponse::json("[{\"lat\": \"x\", \"lon\": 1}]"), 2},
        {LoopbackResponse::json("not json"), 2},
    };
    int asked = 0;
    for (const auto& c : cases) {
        answer = c.response;
        // A new place each time: an answer the service gave is kept for the session.
        const Answer result = search(*view, QStringLiteral("Nowhere %1").arg(++asked));
        EXPECT_EQ(result.code, c.code) << c.response.body.toStdString();
        EXPECT_EQ(result.coordinate, MapCoordinate{});
    }

    useEndpoint(LoopbackHttpServer::refusedUrl(QStringLiteral("/search")));
    auto refused = makeView();
    EXPECT_EQ(search(*refused, QStringLiteral("Main Street")).code, 2);

    useEndpoint(QString());
    auto unconfigured = makeView();
    MapLogCapture log;
    const int before = server.requestCount();
    Answer none;
    unconfigured->showAddress(
        QStringLiteral("Main Street"), [&](int code, const QString&, const MapCoordinate&) { none.code = code; });
    clock.advance(0);
    EXPECT_EQ(none.code, 3);
    EXPECT_EQ(log.count(QStringLiteral("network error")), 1);
    EXPECT_EQ(server.requestCount(), before);
}

TEST_F(MapKitPageTest, GeocodersRunThroughThePage)
{
    GeocoderTestDelegate delegate;
    GMKGeocoder geocoder(QStringLiteral("Main Street"), MapCoordinate{1.5, 2.5});
    geocoder.setDelegate(&delegate);
    geocoder.start();
    ASSERT_TRUE(QTest::qWaitFor([&]() { return !delegate.found.isEmpty(); }, kPatientMs));
    EXPECT_EQ(delegate.found.at(0), (MapCoordinate{48.5, 9.25}));
    EXPECT_EQ(server.requests().at(0).target, QByteArray("/search?q=Main%20Street&lat=1.5&lon=2.5"));

    // A query limit: asked again half a second later.
    answer = LoopbackResponse::json("[]", 429);
    GMKReverseGeocoder reverse(MapCoordinate{48.5, 9.25});
    reverse.setDelegate(&delegate);
    reverse.start();
    clock.advance(MapSearchPacing::kSpacingSeconds);
    ASSERT_TRUE(server.waitForRequests(2));
    QTest::qWait(50);
    answer = LoopbackResponse::json(kStuttgart);
    clock.advance(0.5);
    clock.advance(MapSearchPacing::kSpacingSeconds);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return !delegate.placemarks.isEmpty(); }, kPatientMs));
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_EQ(server.requests().at(2).target, QByteArray("/reverse?lat=48.5&lon=9.25"));
    const GMKPlacemark& place = delegate.placemarks.at(0);
    EXPECT_EQ(place.thoroughfare(), QStringLiteral("12 High Street"));
    EXPECT_EQ(place.locality(), QStringLiteral("Stuttgart"));
    EXPECT_EQ(place.subAdministrativeArea(), QStringLiteral("Region Stuttgart"));
    EXPECT_EQ(place.administrativeArea(), QStringLiteral("Baden-Wuerttemberg"));
    EXPECT_EQ(place.countryCode(), QStringLiteral("DE"));

    // The same place again comes from the answers kept; another one is asked.
    answer = LoopbackResponse::json("[]");
    reverse.start();
    clock.advance(MapSearchPacing::kSpacingSeconds);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return delegate.placemarks.size() == 2; }, kPatientMs));
    EXPECT_EQ(server.requestCount(), 3);
    GMKReverseGeocoder elsewhere(MapCoordinate{10.5, 20.25});
    elsewhere.setDelegate(&delegate);
    elsewhere.start();
    clock.advance(MapSearchPacing::kSpacingSeconds);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return !delegate.failures.isEmpty(); }, kPatientMs));
    EXPECT_EQ(delegate.failures.at(0), QStringLiteral("nothing found"));
}

// A region asked for shows whole, whatever its proportions beside the map's,
// and the region a map answers is the one it shows: its edges are the view's.
TEST_F(MapKitPageTest, AnAskedRegionShowsWholeAndTheRegionAnsweredIsTheOneShown)
{
    auto view = makeView();
    view->resize(600, 300);
    const struct {
        const char* name;
        MapRegion asked;
    } cases[] = {
        {"square", {{48.5, 9.25}, 0.2, 0.2}},
        {"tall", {{48.5, 9.25}, 2.0, 0.1}},
        {"wide", {{-33.9, 151.2}, 0.05, 1.0}},
    };
    const QRect inView = QRect(0, 0, 600, 300).adjusted(-1, -1, 1, 1);
    for (const auto& c : cases) {
        const MapRegion& asked = c.asked;
        view->setRegion(asked);
        const double north = asked.center.latitude + asked.latitudeDelta / 2;
        const double south = asked.center.latitude - asked.latitudeDelta / 2;
        const double west = asked.center.longitude - asked.longitudeDelta / 2;
        const double east = asked.center.longitude + asked.longitudeDelta / 2;
        for (const MapCoordinate& corner : {MapCoordinate{north, west}, MapCoordinate{south, east}}) {
            EXPECT_TRUE(inView.contains(view->convertCoordinate(corner, nullptr)))
                << c.name << ": the asked region shows whole";
        }

        const MapRegion shown = view->region();
        EXPECT_EQ(shown.center, asked.center) << c.name;
        const QPoint topLeft = view->convertCoordinate(
            {shown.center.latitude + shown.latitudeDelta / 2, shown.center.longitude - shown.longitudeDelta / 2},
            nullptr);
        const QPoint bottomRight = view->convertCoordinate(
            {shown.center.latitude - shown.latitudeDelta / 2, shown.center.longitude + shown.longitudeDelta / 2},
            nullptr);
        EXPECT_NEAR(bottomRight.x() - topLeft.x(), 600, 2) << c.name << ": the width shown";
        EXPECT_NEAR(bottomRight.y() - topLeft.y(), 300, 2) << c.name << ": the height shown";
        // No wider than the region needs: one of its spans fills the view.
        EXPECT_TRUE(std::abs(shown.longitudeDelta - asked.longitudeDelta) < 1e-9
            || std::abs(shown.latitudeDelta - asked.latitudeDelta) < 1e-3 * asked.latitudeDelta)
            << c.name;
    }
}

TEST_F(MapKitPageTest, GettersAnswerWhatSettersSet)
{
    auto view = makeView();
    view->resize(512, 512);
    JsPageHost* page = view->host();

    view->setMapType(2);
    EXPECT_EQ(page->evaluate(QStringLiteral("webmap.state.mapType")).toInt(), 2);
    view->setCenterCoordinate({48.5, 9.25});
    EXPECT_EQ(view->centerCoordinate(), (MapCoordinate{48.5, 9.25}));
    const MapRegion region{{0, 0}, 40, 90};
    view->setRegion(region);
    const MapRegion shown = view->region();
    EXPECT_EQ(shown.center, region.center);
    EXPECT_EQ(shown.longitudeDelta, region.longitudeDelta);
    EXPECT_GT(shown.latitudeDelta, region.latitudeDelta) << "a square map shows more latitudes than asked";
    EXPECT_EQ(view->convertCoordinate({0, 0}, nullptr), QPoint(256, 256));
    EXPECT_EQ(view->convertCoordinate({0, 45}, nullptr), QPoint(512, 256));
    EXPECT_LT(view->convertCoordinate({10, 0}, nullptr).y(), 256);

    page->callFunction(QStringLiteral("setUserLocationVisible"), {true});
    EXPECT_EQ(page->callFunction(QStringLiteral("isUserLocationVisible"), {}), QVariant(true));

    MapViewTestDelegate delegate;
    delegate.makeOverlayView = [](const GMKOverlayPtr& overlay) {
        return std::make_shared<GMKCircleView>(std::dynamic_pointer_cast<GMKCircle>(overlay));
    };
    delegate.makeAnnotationView = [](const GMKAnnotationPtr& annotation) {
        return std::make_shared<GMKPinAnnotationView>(annotation, QStringLiteral("pin"));
    };
    view->setDelegate(&delegate);
    view->addOverlay(GMKCircle::circleWithCenterCoordinate({1, 2}, 500));
    auto pin = std::make_shared<GMKPointAnnotation>(MapCoordinate{3.5, 4.5});
    pin->setTitle(QStringLiteral("Home"));
    view->addAnnotation(pin);
    EXPECT_EQ(
        page->evaluate(
                QStringLiteral("webmap.state.overlays[0].get('zIndex') + ' ' + webmap.state.overlays[0].get('radius')"))
            .toString(),
        QStringLiteral("4000 500"));
    EXPECT_EQ(page->evaluate(QStringLiteral("coordinateForAnnotation(webmap.state.annotations[0])")).toString(),
        QStringLiteral("{\"latitude\":3.5,\"longitude\":4.5}"));
    view->selectAnnotation(pin);
    EXPECT_EQ(page->evaluate(QStringLiteral("JSON.stringify(webmap.state.annotations[0].callout)")).toString(),
        QStringLiteral("{\"text\":\"Home\",\"hidden\":false}"));
    view->removeAnnotation(pin);
    EXPECT_EQ(page->evaluate(QStringLiteral("webmap.state.annotations.length")).toInt(), 0);
}
