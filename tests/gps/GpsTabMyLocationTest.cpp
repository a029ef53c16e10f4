#include "gps/GpsTabTestSupport.h"
#include "gps/MapTestDelegate.h"
#include "support/FakeLocationServices.h"
#include "support/Gallery.h"
#include "support/Patience.h"
#include "support/PrivateBus.h"

#include <QAbstractItemView>

#include <cmath>

// "My Location" of the GPS tab over GeoClue on a private bus: the tab's map
// gets its provider as the application makes it, from the desktop service.
class GpsTabMyLocationTest : public GpsTabTest {
protected:
    void SetUp() override
    {
        GpsTabTest::SetUp();
        ASSERT_FALSE(bus.address().isEmpty());
        service = std::make_unique<FakeGeoClue>(bus.connect(QStringLiteral("geoclue")));
        provider = LocationProvider::create(QString(), buses());
        tab->mapView()->setLocationProvider(provider.get());
    }
    void TearDown() override
    {
        tab.reset();
        provider.reset();
        GpsTabTest::TearDown();
    }
    LocationBuses buses() const { return LocationBuses{bus.address(), bus.address(), QStringLiteral("/nonexistent")}; }
    void chooseMyLocation() { emit tab->staticLocate()->activated(0); }
    bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, kPatientMs); }
    void expectCentre(double latitude, double longitude) const
    {
        const MapCoordinate centre = tab->mapView()->centerCoordinate();
        EXPECT_NEAR(centre.latitude, latitude, 1e-9);
        EXPECT_NEAR(centre.longitude, longitude, 1e-9);
    }
    std::optional<MapLocation> located() const { return tab->mapView()->userLocation()->location(); }
    // Tiles that show their own numbers around a place, so that a picture shows
    // where the map went.
    void numberTilesAround(double latitude, double longitude, int zoom)
    {
        const double n = std::exp2(zoom);
        const int x = static_cast<int>((longitude + 180.0) / 360.0 * n);
        const double y = (1.0 - std::asinh(std::tan(latitude * M_PI / 180.0)) / M_PI) / 2.0 * n;
        for (int dx = -3; dx <= 3; ++dx) {
            for (int dy = -3; dy <= 3; ++dy) {
                const TileKey key{zoom, x + dx, static_cast<int>(y) + dy};
                source->setTile(key, numberedTile(key));
            }
        }
    }

    PrivateBus bus;
    std::unique_ptr<FakeGeoClue> service;
    std::unique_ptr<LocationProvider> provider;
};

TEST_F(GpsTabMyLocationTest, TheFirstFixCentresAtStreetZoomLaterOnesOnlyMoveTheMarker)
{
    tab->mapView()->setCenterCoordinate({10, 10}, 4u, false);
    service->move(35.6586, 139.7454, 80.0);
    numberTilesAround(35.6586, 139.7454, 15);
    chooseMyLocation();
    ASSERT_TRUE(waitFor([&] { return located().has_value(); }));
    settle();
    expectCentre(35.6586, 139.7454);
    EXPECT_EQ(tab->mapView()->zoomLevel(), 15);
    EXPECT_EQ(located()->radius(), 80.0);
    EXPECT_TRUE(tab->mapView()->isUserLocationVisible());
    EXPECT_TRUE(Gallery::capture(tab.get(), QStringLiteral("gps-tab-my-location")));

    // The user looks elsewhere; the desk moves a little.
    tab->mapView()->setCenterCoordinate({35.60, 139.70}, false);
    service->move(35.6590, 139.7460, 20.0);
    ASSERT_TRUE(waitFor([&] { return located() && located()->radius() == 20.0; }));
    settle();
    EXPECT_EQ(tab->mapView()->centerCoordinate(), (MapCoordinate{35.60, 139.70}));
    EXPECT_EQ(located()->coordinate, (MapCoordinate{35.6590, 139.7460}));
    EXPECT_EQ(tab->mapView()->zoomLevel(), 15);

    // Choosing My Location again brings the marker back into view, with no new fix.
    tab->mapView()->setCenterCoordinate({10, 10}, 4u, false);
    chooseMyLocation();
    ASSERT_TRUE(waitFor([&] { return tab->mapView()->zoomLevel() == 15; }));
    expectCentre(35.6590, 139.7460);
    EXPECT_EQ(service->calls.count("Start"), 1);

    // The tab goes away with the window: the service is told to stop.
    tab.reset();
    ASSERT_TRUE(waitFor([&] { return service->calls.contains("Stop"); }));
    EXPECT_FALSE(service->isStarted());
}

TEST_F(GpsTabMyLocationTest, ARefusalTurnsMyLocationOffAndTheMapsDelegateHearsIt)
{
    service->refuses = true;
    chooseMyLocation();
    EXPECT_TRUE(tab->mapView()->showsUserLocation()) << "on until the service answers; nothing waits for it";
    ASSERT_TRUE(waitFor([&] { return !tab->mapView()->showsUserLocation(); }));
    EXPECT_FALSE(located().has_value());
    EXPECT_TRUE(ui.alerts().isEmpty());

    // Chosen in the pop-up as a user does, over the photo's place: refused, the
    // pop-up shows the photo's place again, not a location that is not shown.
    show(gpsRecord("35/1 30/1 0/1", "N", "139/1 45/1 0/1", "E"));
    ASSERT_EQ(tab->staticLocate()->currentIndex(), 1);
    tab->show();
    tab->staticLocate()->showPopup();
    QTest::keyClick(tab->staticLocate()->view(), Qt::Key_Up);
    QTest::keyClick(tab->staticLocate()->view(), Qt::Key_Return);
    EXPECT_EQ(tab->staticLocate()->currentText(), "My Location");
    ASSERT_TRUE(waitFor([&] { return !tab->mapView()->showsUserLocation(); }));
    EXPECT_EQ(tab->staticLocate()->currentText(), "Photo Location");
    EXPECT_TRUE(Gallery::capture(tab.get(), "gps-tab-my-location-refused"));
    tab->hide();
    // Allowed now: choosing it again asks again.
    service->refuses = false;
    service->move(1.5, 2.5, 10.0);
    chooseMyLocation();
    ASSERT_TRUE(waitFor([&] { return located().has_value(); }));

    // What a map's delegate hears of a refusal.
    service->refuses = true;
    VXMapView map;
    MapTestDelegate delegate;
    map.setMapDelegate(&delegate);
    const auto own = LocationProvider::create(QString(), buses());
    map.setLocationProvider(own.get());
    map.setShowsUserLocation(true);
    ASSERT_TRUE(waitFor([&] { return !map.showsUserLocation(); }));
    EXPECT_EQ(delegate.events, (QStringList{"locating", "location failed 1", "stopped"}));
    ASSERT_EQ(delegate.locationFailures.size(), 1);
    EXPECT_EQ(delegate.locationFailures[0].domain, LocationProvider::errorDomain());
}
