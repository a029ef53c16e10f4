#include "foundation/AppInfo.h"
#include "support/FakeLocationServices.h"
#include "support/Patience.h"
#include "support/PrivateBus.h"
#include "support/TempFolder.h"
#include "webmapkit/GeoClueLocationProvider.h"
#include "webmapkit/MapTestSupport.h"
#include "webmapkit/PortalLocationProvider.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A provider made as the map makes it, on the test's bus; fixes and failures
// are written down.
struct Located {
    explicit Located(const LocationBuses& buses)
        : provider(LocationProvider::create(QString(), buses))
        , fixes(provider.get(), &LocationProvider::didUpdateLocation)
        , failures(provider.get(), &LocationProvider::didFail)
    {
    }
    MapLocation fix(int index) const { return fixes.at(index).at(0).value<MapLocation>(); }
    int failure(int index) const { return failures.at(index).at(0).value<MapError>().code; }

    std::unique_ptr<LocationProvider> provider;
    QSignalSpy fixes;
    QSignalSpy failures;
};

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, kPatientMs);
}

class DesktopLocationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(bus.address().isEmpty()); }
    LocationBuses buses(const QString& marker = QString()) const
    {
        return LocationBuses{bus.address(), bus.address(), marker.isEmpty() ? temp.filePath("no-marker") : marker};
    }

    TempFolder temp;
    PrivateBus bus;
};

} // namespace

TEST_F(DesktopLocationTest, GeoClueIsAskedAsTheApplicationForExactFixesUntilStopped)
{
    FakeGeoClue service(bus.connect(QStringLiteral("geoclue")));
    service.move(48.8584, 2.2945, 25.0);
    Located user(buses());
    ASSERT_NE(dynamic_cast<GeoClueLocationProvider*>(user.provider.get()), nullptr);

    user.provider->start();
    ASSERT_TRUE(user.fixes.wait(kPatientMs));
    EXPECT_EQ(user.fix(0).coordinate, (MapCoordinate{48.8584, 2.2945}));
    EXPECT_EQ(user.fix(0).radius(), 25.0);
    EXPECT_EQ(service.desktopId, QVariant(QStringLiteral("org.lumetta.Lumetta")));
    EXPECT_EQ(service.desktopId, QVariant(AppInfo::bundleIdentifier()));
    EXPECT_EQ(service.accuracyLevel, QVariant(8u));
    EXPECT_EQ(service.calls, (QStringList{"GetClient", "Start"}));

    service.move(48.86, 2.30, 12.0);
    ASSERT_TRUE(user.fixes.wait(kPatientMs));
    EXPECT_EQ(user.fix(1).coordinate, (MapCoordinate{48.86, 2.30}));
    EXPECT_EQ(user.fix(1).radius(), 12.0);

    // On again while on: the last fix again at once, no second start.
    user.provider->start();
    ASSERT_TRUE(user.fixes.wait(kPatientMs));
    EXPECT_EQ(user.fix(2).coordinate, (MapCoordinate{48.86, 2.30}));
    EXPECT_EQ(service.calls.count("Start"), 1);

    user.provider->stop();
    ASSERT_TRUE(waitFor([&] { return service.calls.count("Stop") == 1; }));
    service.move(1, 2, 3);
    QTest::qWait(50);
    EXPECT_EQ(user.fixes.size(), 3);

    // Started again and then gone with its map: the service still hears the stop.
    user.provider->start();
    ASSERT_TRUE(user.fixes.wait(kPatientMs));
    EXPECT_EQ(user.fix(3).coordinate, (MapCoordinate{1, 2}));
    user.provider.reset();
    ASSERT_TRUE(waitFor([&] { return service.calls.count("Stop") == 2; }));
    EXPECT_FALSE(service.isStarted());
    EXPECT_TRUE(user.failures.isEmpty());
}

TEST_F(DesktopLocationTest, RefusedOrAbsentServicesFailAsRefusedWhileABadFixOnlyFailsOnce)
{
    MapLogCapture log;
    {
        // The agent says no.
        FakeGeoClue service(bus.connect(QStringLiteral("refusing")));
        service.refuses = true;
        Located user(buses());
        user.provider->start();
        ASSERT_TRUE(user.failures.wait(kPatientMs));
        EXPECT_EQ(user.failure(0), LocationProvider::kErrorDenied);
        EXPECT_EQ(log.count(QStringLiteral("user location refused")), 1);
        // Refused, the next start asks again.
        service.refuses = false;
        service.move(10, 20, 30);
        user.provider->start();
        ASSERT_TRUE(user.fixes.wait(kPatientMs));

        // A fix out of range fails once, the next one arrives.
        service.move(95, 20, 30);
        ASSERT_TRUE(user.failures.wait(kPatientMs));
        EXPECT_EQ(user.failure(1), LocationProvider::kErrorUnknown);
        service.move(11, 21, 30);
        ASSERT_TRUE(user.fixes.wait(kPatientMs));
        EXPECT_EQ(user.fix(1).coordinate, (MapCoordinate{11, 21}));

        // The service quits under a running client.
        service.quit();
        ASSERT_TRUE(user.failures.wait(kPatientMs));
        EXPECT_EQ(user.failure(2), LocationProvider::kErrorDenied);
    }

    // Nothing on the bus: the provider that fails, as refused.
    Located nobody(buses());
    EXPECT_EQ(dynamic_cast<DesktopLocationProvider*>(nobody.provider.get()), nullptr);
    nobody.provider->start();
    ASSERT_TRUE(nobody.failures.wait(kPatientMs));
    EXPECT_EQ(nobody.failure(0), LocationProvider::kErrorDenied);

    // Installed (the bus could start it) but it does not start.
    PrivateBus broken({GeoClueLocationProvider::serviceName()});
    Located user(LocationBuses{broken.address(), broken.address(), temp.filePath("no-marker")});
    ASSERT_NE(dynamic_cast<GeoClueLocationProvider*>(user.provider.get()), nullptr);
    user.provider->start();
    ASSERT_TRUE(user.failures.wait(kPatientMs));
    EXPECT_EQ(user.failure(0), LocationProvider::kErrorDenied);
}

TEST_F(DesktopLocationTest, InASandboxThePortalSessionGivesTheFixesAndIsClosed)
{
    FakeGeoClue geoclue(bus.connect(QStringLiteral("geoclue")));
    FakeLocationPortal portal(bus.connect(QStringLiteral("portal")));
    portal.move(-33.8568, 151.2153, 40.0);
    const QString marker = temp.filePath(QStringLiteral("flatpak-info"));
    QFile file(marker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    Located user(buses(marker));
    ASSERT_NE(dynamic_cast<PortalLocationProvider*>(user.provider.get()), nullptr);
    user.provider->start();
    ASSERT_TRUE(user.fixes.wait(kPatientMs));
    EXPECT_EQ(user.fix(0).coordinate, (MapCoordinate{-33.8568, 151.2153}));
    EXPECT_EQ(user.fix(0).radius(), 40.0);
    EXPECT_EQ(portal.accuracy, QVariant(5u));
    user.provider->stop();
    ASSERT_TRUE(waitFor([&] { return portal.calls.contains("Close"); }));
    EXPECT_EQ(portal.calls, (QStringList{"CreateSession", "Start", "Close"}));
    EXPECT_TRUE(geoclue.calls.isEmpty());

    // The user says no in the portal's dialogue.
    portal.response = 1;
    user.provider->start();
    ASSERT_TRUE(user.failures.wait(kPatientMs));
    EXPECT_EQ(user.failure(0), LocationProvider::kErrorDenied);
    EXPECT_EQ(user.fixes.size(), 1);

    // Outside the sandbox the same buses give GeoClue.
    Located outside(buses());
    EXPECT_NE(dynamic_cast<GeoClueLocationProvider*>(outside.provider.get()), nullptr);
}
