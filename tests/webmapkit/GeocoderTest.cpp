#include "support/Patience.h"
#include "support/TempFolder.h"
#include "webmapkit/GMKGeocoder.h"
#include "webmapkit/GMKJsonOperations.h"
#include "webmapkit/GMKReverseGeocoder.h"
#include "webmapkit/MapTestSupport.h"
#include "webmapkit/MapViewTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct Answer {
    int code = 0;
    QString address;
    MapCoordinate coordinate;
};

GMKPlacemark placemarkFrom(const char* json)
{
    return GMKPlacemark::fromWebGeocoderResult(*GMKJSONValue(QString::fromUtf8(json))).value_or(GMKPlacemark());
}

class GeocoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        page = writeScriptPage(
            temp.path(), QStringLiteral("map.html"), {{QStringLiteral("recorder.js"), kRecordingPage}});
    }
    void TearDown() override { MapClock::setDefaultClock(nullptr); }

    ManualMapClock clock;
    TempFolder temp;
    QString page;
    GeocoderTestDelegate delegate;
};

} // namespace

TEST_F(GeocoderTest, SearchAnswersReachTheLatestBlockAndUnreadableOnesAreFailures)
{
    GMKMapView view(nullptr, page);
    MapViewTestDelegate mapDelegate;
    view.setDelegate(&mapDelegate);
    ASSERT_TRUE(waitForLoad(view.host()));
    QList<Answer> first;
    QList<Answer> second;
    view.showAddress(QStringLiteral("Main Street"), [&](int code, const QString& address, const MapCoordinate& at) {
        first << Answer{code, address, at};
    });
    view.showAddress(QStringLiteral("Elm Road"), [&](int code, const QString& address, const MapCoordinate& at) {
        second << Answer{code, address, at};
    });
    EXPECT_EQ(pageCalls(view.host()).mid(2),
        (QStringList{QStringLiteral("showAddress Main Street"), QStringLiteral("showAddress Elm Road")}));

    const struct {
        const char* json;
        int code;
        MapCoordinate coordinate;
    } cases[] = {
        {R"({"errorCode": 0, "address": "Main Street", "latitude": 48.5, "longitude": 9.25})", 0, {48.5, 9.25}},
        {R"({"errorCode": 3, "address": "Main Street", "latitude": 48.5, "longitude": 9.25})", 3, {0, 0}},
        {R"({"address": "Main Street", "latitude": 1, "longitude": 2})", 0, {1, 2}},
        {R"({"errorCode": 0, "address": "Main Street", "latitude": 48.5})", -1, {0, 0}},
        {R"({"errorCode": 0, "address": "Main Street", "latitude": "48.5", "longitude": 9.25})", -1, {0, 0}},
        {"no json at all", -1, {0, 0}},
    };
    for (const auto& c : cases) {
        second.clear();
        view.host()->evaluate(QStringLiteral("GMKMapView.webViewSearchAddressBack(%1)")
                                  .arg(QString::fromLatin1(R"('%1')").arg(QString::fromUtf8(c.json))));
        ASSERT_EQ(second.size(), 1) << c.json;
        EXPECT_EQ(second[0].code, c.code) << c.json;
        EXPECT_EQ(second[0].coordinate, c.coordinate) << c.json;
        EXPECT_EQ(second[0].address,
            c.code == -1 && QString::fromLatin1(c.json).startsWith(QLatin1Char('n')) ? QString()
                                                                                     : QStringLiteral("Main Street"));
    }
    EXPECT_TRUE(first.isEmpty());
    EXPECT_TRUE(mapDelegate.events.contains(QStringLiteral("search 0 Main Street")));

    MapLogCapture log;
    view.takeStringValueFrom(&mapDelegate);
    EXPECT_EQ(log.count(QStringLiteral("sender must respond to -stringValue")), 1);
}

TEST_F(GeocoderTest, AGeocoderSendsItsQueryAtTheLoadAndRetriesAfterAQueryLimit)
{
    GMKGeocoder geocoder(QStringLiteral("Main Street"), MapCoordinate{1.5, 2.5}, nullptr, page);
    geocoder.setDelegate(&delegate);
    geocoder.start();
    ASSERT_TRUE(waitForLoad(geocoder.host()));
    geocoder.host()->evaluate(QStringLiteral("answers.geocode = true"));
    EXPECT_EQ(pageCalls(geocoder.host()), QStringList{QStringLiteral("geocode Main Street 1.5 2.5")});
    EXPECT_EQ(geocoder.host()->evaluate(QStringLiteral("Object.keys(GMKGeocoder).sort().join(',')")).toString(),
        QStringLiteral("didFailWithError,didReachQueryLimit,didSucceedWithResult"));

    geocoder.host()->evaluate(QStringLiteral("GMKGeocoder.didReachQueryLimit()"));
    clock.advance(0.4);
    EXPECT_TRUE(pageCalls(geocoder.host()).isEmpty());
    clock.advance(0.1);
    EXPECT_EQ(pageCalls(geocoder.host()).size(), 1);

    geocoder.host()->evaluate(QStringLiteral(
        "GMKGeocoder.didSucceedWithResult('{\"geometry\": {\"location\": {\"lng\": 9.25, \"lat\": 48.5}}}')"));
    EXPECT_EQ(delegate.found, QList<MapCoordinate>{(MapCoordinate{48.5, 9.25})});
    EXPECT_FALSE(geocoder.isQuerying());

    // Cancelled: a late success changes nothing. A success that cannot be
    // read is a failure, never a place at (0, 0).
    geocoder.start();
    geocoder.cancel();
    geocoder.didSucceedWithResult(QStringLiteral(R"({"geometry": {"location": {"lat": 1, "lng": 2}}})"));
    EXPECT_EQ(geocoder.coordinate(), (MapCoordinate{48.5, 9.25}));
    for (const char* unreadable :
        {"not json", R"({"geometry": {}})", R"({"geometry": {"location": {"lat": "1", "lng": 2}}})"}) {
        geocoder.start();
        geocoder.didSucceedWithResult(QString::fromLatin1(unreadable));
    }
    EXPECT_EQ(delegate.found.size(), 1);
    EXPECT_EQ(delegate.failures, QStringList(3, QStringLiteral("unreadable geocoder answer")));
    geocoder.start();
    geocoder.didFailWithError(QStringLiteral("nothing found"));
    EXPECT_EQ(delegate.failures.last(), QStringLiteral("nothing found"));
    EXPECT_FALSE(geocoder.isQuerying());
}

TEST_F(GeocoderTest, APageWithoutTheFunctionIsAskedForTenSecondsAndABrokenPageNotAtAll)
{
    GMKGeocoder geocoder(QStringLiteral("Main Street"), nullptr, page);
    geocoder.setDelegate(&delegate);
    ASSERT_TRUE(waitForLoad(geocoder.host()));
    geocoder.host()->evaluate(QStringLiteral("delete window.geocode"));
    geocoder.start();
    clock.advance(9.95);
    EXPECT_TRUE(geocoder.isQuerying());
    EXPECT_TRUE(delegate.failures.isEmpty());
    clock.advance(0.1);
    EXPECT_EQ(delegate.failures, QStringList{QStringLiteral("page function not defined")});
    EXPECT_EQ(clock.pendingCount(), 0);

    const QString broken
        = writeScriptPage(temp.path(), QStringLiteral("broken.html"), {}, {QStringLiteral("missing.js")});
    GMKReverseGeocoder reverse(MapCoordinate{1, 2}, nullptr, broken);
    reverse.setDelegate(&delegate);
    reverse.start();
    QSignalSpy failed(reverse.host(), &ScriptBridge::loadFailed);
    ASSERT_TRUE(failed.wait(kPatientMs));
    EXPECT_EQ(delegate.failures.last(), QStringLiteral("map page failed to load"));
    EXPECT_EQ(clock.pendingCount(), 0);
    reverse.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return delegate.failures.size() >= 3; }, kPatientMs));
    EXPECT_EQ(delegate.failures.size(), 3);
}

TEST_F(GeocoderTest, TheReverseGeocoderPassesItselfAndAnswersOnThatObject)
{
    GMKReverseGeocoder reverse(MapCoordinate{48.5, 9.25}, nullptr, page);
    reverse.setDelegate(&delegate);
    ASSERT_TRUE(waitForLoad(reverse.host()));
    reverse.host()->evaluate(QStringLiteral(
        "answers.reverseGeocode = function (lat, lng, target) { window.target = target; return true; }"));
    reverse.start();
    EXPECT_EQ(pageCalls(reverse.host()), QStringList{QStringLiteral("reverseGeocode 48.5 9.25 [object]")});
    reverse.host()->evaluate(QStringLiteral("target.didSucceedWithAddress(JSON.stringify({geometry: {location: {lat: "
                                            "48.5, lng: 9.25}}, address_components: ["
                                            "{long_name: 'High Street', short_name: 'High St', types: ['route']}]}))"));
    ASSERT_EQ(delegate.placemarks.size(), 1);
    ASSERT_TRUE(reverse.placemark().has_value());
    EXPECT_EQ(reverse.placemark()->thoroughfare(), QStringLiteral("High Street"));
    EXPECT_EQ(reverse.placemark()->coordinate(), (MapCoordinate{48.5, 9.25}));
}

TEST(GMKPlacemarkTest, CoordinatesFollowTheKeyOrderAndStreetsJoinTheirNumber)
{
    EXPECT_EQ(placemarkFrom(R"({"geometry": {"location": {"lng": 9.25, "lat": 48.5}}})").coordinate(),
        (MapCoordinate{48.5, 9.25}));
    EXPECT_EQ(placemarkFrom(R"({"geometry": {"location": {"Lon": 9.25, "lat": 48.5}}})").coordinate(),
        (MapCoordinate{48.5, 9.25}));
    // Only the key order counts: a latitude under the later key is read as the longitude.
    EXPECT_EQ(placemarkFrom(R"({"geometry": {"location": {"y": 48.5, "x": 9.25}}})").coordinate(),
        (MapCoordinate{9.25, 48.5}));
    EXPECT_FALSE(
        GMKPlacemark::fromWebGeocoderResult(*GMKJSONValue(QStringLiteral(R"({"geometry": {"location": {"lat": 1}}})")))
            .has_value());

    const GMKPlacemark full = placemarkFrom(R"({"geometry": {"location": {"lat": 1, "lng": 2}}, "address_components": [
        {"long_name": "12", "short_name": "12", "types": ["street_number"]},
        {"long_name": "High Street", "short_name": "High St", "types": ["route"]},
        {"long_name": "Stuttgart", "short_name": "S", "types": ["locality", "political"]},
        {"long_name": "Region Stuttgart", "short_name": "RS", "types": ["administrative_area_level_2"]},
        {"long_name": "Baden-Wuerttemberg", "short_name": "BW", "types": ["administrative_area_level_1"]},
        {"long_name": "Germany", "short_name": "DE", "types": ["country"]},
        {"long_name": "70173", "short_name": "70173", "types": ["postal_code"]}]})");
    EXPECT_EQ(full.thoroughfare(), QStringLiteral("12 High Street"));
    EXPECT_EQ(full.locality(), QStringLiteral("Stuttgart"));
    EXPECT_EQ(full.subAdministrativeArea(), QStringLiteral("Region Stuttgart"));
    EXPECT_EQ(full.administrativeArea(), QStringLiteral("BW"));
    EXPECT_EQ(full.country(), QStringLiteral("Germany"));
    EXPECT_EQ(full.countryCode(), QStringLiteral("DE"));
    EXPECT_TRUE(full.postalCode().isNull());
    EXPECT_TRUE(full.description().contains(
        QStringLiteral("(1.000000, 2.000000) {thoroughfare: 12 High Street,\n subThoroughfare: (null),\n")));

    const GMKPlacemark routeOnly
        = placemarkFrom(R"({"geometry": {"location": {"lat": 1, "lng": 2}}, "address_components": [
        {"long_name": "High Street", "short_name": "High St", "types": ["route"]}]})");
    EXPECT_EQ(routeOnly.thoroughfare(), QStringLiteral("High Street"));
}
