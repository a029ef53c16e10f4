#include "support/Patience.h"
#include "support/TempFolder.h"
#include "webmapkit/MapViewTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A location service the test drives by hand.
class FakeLocationProvider : public LocationProvider {
public:
    explicit FakeLocationProvider(int* starts, int* stops)
        : starts_(starts)
        , stops_(stops)
    {
    }
    void start() override { ++*starts_; }
    void stop() override { ++*stops_; }

private:
    int* starts_;
    int* stops_;
};

MapLocation fix(double latitude, double longitude, double horizontal, double vertical)
{
    MapLocation location;
    location.coordinate = {latitude, longitude};
    location.horizontalAccuracy = horizontal;
    location.verticalAccuracy = vertical;
    return location;
}

class GMKMapViewLocationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        page = writeScriptPage(
            temp.path(), QStringLiteral("map.html"), {{QStringLiteral("recorder.js"), kRecordingPage}});
        view = std::make_unique<GMKMapView>(nullptr, page);
        view->setDelegate(&delegate);
        view->setLocationProviderFactory([this]() {
            auto made = std::make_unique<FakeLocationProvider>(&starts, &stops);
            provider = made.get();
            return made;
        });
        ASSERT_TRUE(waitForLoad(view->host()));
        pageCalls(view->host());
        delegate.events.clear();
    }
    void TearDown() override
    {
        view.reset();
        MapClock::setDefaultClock(nullptr);
    }

    QStringList calls() { return pageCalls(view->host()); }
    void arrive(const MapLocation& location) { emit provider->didUpdateLocation(location); }

    ManualMapClock clock;
    TempFolder temp;
    QString page;
    MapViewTestDelegate delegate;
    std::unique_ptr<GMKMapView> view;
    QPointer<LocationProvider> provider;
    int starts = 0;
    int stops = 0;
};

} // namespace

TEST_F(GMKMapViewLocationTest, TurningOnAndOffTellsTheDelegateOnceAndForgetsTheLocation)
{
    view->setShowsUserLocation(true);
    view->setShowsUserLocation(true);
    EXPECT_EQ(starts, 2);
    EXPECT_TRUE(view->userLocation()->isUpdating());
    arrive(fix(1, 2, 30, 50));
    EXPECT_TRUE(view->userLocation()->location().has_value());

    view->setShowsUserLocation(false);
    EXPECT_EQ(delegate.events.count(QStringLiteral("will locate")), 1);
    EXPECT_EQ(delegate.events.count(QStringLiteral("did stop")), 1);
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(view->userLocation()->isUpdating());
    EXPECT_FALSE(view->userLocation()->location().has_value());
    EXPECT_EQ(view->locationProvider(), nullptr);
    EXPECT_EQ(calls().last(), QStringLiteral("setUserLocationVisible false"));
    EXPECT_FALSE(view->isUserLocationVisible());
}

TEST_F(GMKMapViewLocationTest, FixesMoveTheMarkerWithTheLargerAccuracyAndCentreOnlyOnce)
{
    view->setShowsUserLocation(true);
    calls();
    arrive(fix(1, 2, 30, 50));
    EXPECT_EQ(calls(),
        (QStringList{QStringLiteral("setCenterCoordinateAnimated 1 2 false"),
            QStringLiteral("setUserLocationRadius 50"), QStringLiteral("setUserLocationLatitudeLongitude 1 2"),
            QStringLiteral("setUserLocationVisible true")}));
    arrive(fix(3, 4, 40, std::nan("")));
    EXPECT_EQ(calls(),
        (QStringList{QStringLiteral("setUserLocationRadius 40"), QStringLiteral("setUserLocationLatitudeLongitude 3 4"),
            QStringLiteral("setUserLocationVisible true")}));
    EXPECT_EQ(delegate.events.count(QStringLiteral("location")), 2);
    EXPECT_EQ(view->userLocation()->coordinate(), (MapCoordinate{3, 4}));

    view->host()->evaluate(QStringLiteral("answers.isUserLocationVisible = true"));
    EXPECT_TRUE(view->isUserLocationVisible());

    // A centre the client set wins over the first fix.
    view->setShowsUserLocation(false);
    GMKMapView other(nullptr, page);
    ASSERT_TRUE(waitForLoad(other.host()));
    other.setLocationProviderFactory([this]() { return std::make_unique<FakeLocationProvider>(&starts, &stops); });
    other.setCenterCoordinate({7, 8});
    other.setShowsUserLocation(true);
    pageCalls(other.host());
    emit other.locationProvider()->didUpdateLocation(fix(1, 2, 10, 10));
    EXPECT_EQ(pageCalls(other.host()).first(), QStringLiteral("setUserLocationRadius 10"));
    EXPECT_EQ(other.userLocation()->coordinate(), (MapCoordinate{1, 2}));
}

TEST_F(GMKMapViewLocationTest, DeniedAccessTurnsItOffWhileOtherFailuresOnlyHideTheMarker)
{
    view->setShowsUserLocation(true);
    calls();
    emit provider->didFail(
        MapError{LocationProvider::errorDomain(), LocationProvider::kErrorUnknown, QStringLiteral("no fix")});
    EXPECT_EQ(calls(), QStringList{QStringLiteral("setUserLocationVisible false")});
    EXPECT_TRUE(view->showsUserLocation());
    EXPECT_NE(view->locationProvider(), nullptr);

    emit provider->didFail(
        MapError{LocationProvider::errorDomain(), LocationProvider::kErrorDenied, QStringLiteral("denied")});
    EXPECT_FALSE(view->showsUserLocation());
    EXPECT_EQ(view->locationProvider(), nullptr);
    EXPECT_EQ(delegate.events,
        (QStringList{QStringLiteral("will locate"), QStringLiteral("locate failed 0"),
            QStringLiteral("locate failed 1"), QStringLiteral("did stop")}));
    // The provider goes on a later turn, not inside its own signal.
    EXPECT_FALSE(provider.isNull());
    EXPECT_TRUE(QTest::qWaitFor([&] { return provider.isNull(); }, kPatientMs));
}

TEST_F(GMKMapViewLocationTest, AReloadReplaysTheKnownLocation)
{
    view->setShowsUserLocation(true);
    arrive(fix(1, 2, 30, 50));
    calls();
    delegate.events.clear();
    view->host()->evaluate(QStringLiteral("GMKMapView.webviewReportingReloadGmaps()"));
    ASSERT_TRUE(waitForLoad(view->host()));
    EXPECT_EQ(calls(),
        (QStringList{QStringLiteral("setUserLocationRadius 50"), QStringLiteral("setUserLocationLatitudeLongitude 1 2"),
            QStringLiteral("setUserLocationVisible true"), QStringLiteral("setMapType 0")}));
    EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("will load"), QStringLiteral("location")}));
    EXPECT_TRUE(view->userLocation()->isUpdating());
}
