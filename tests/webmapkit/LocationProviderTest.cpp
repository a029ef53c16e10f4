#include "webmapkit/LocationProvider.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "webmapkit/GMKUserLocation.h"
#include "webmapkit/MapTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

TEST(LocationProviderTest, HttpProviderGivesOneFixPerStartOrFailsWithCodeZero)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    LoopbackResponse answer = LoopbackResponse::json(R"({"latitude": 35.5, "longitude": 139.7, "accuracy": 30})");
    server.setHandler([&](const LoopbackRequest&) { return answer; });
    const auto provider = LocationProvider::create(server.url(QStringLiteral("/where")));
    QSignalSpy fixes(provider.get(), &LocationProvider::didUpdateLocation);
    QSignalSpy failures(provider.get(), &LocationProvider::didFail);

    provider->start();
    ASSERT_TRUE(fixes.wait(kPatientMs));
    const MapLocation fix = fixes.at(0).at(0).value<MapLocation>();
    EXPECT_EQ(fix.coordinate, (MapCoordinate{35.5, 139.7}));
    EXPECT_EQ(fix.radius(), 30.0);
    EXPECT_TRUE(std::isnan(fix.verticalAccuracy));
    QTest::qWait(30);
    EXPECT_EQ(fixes.size(), 1);
    EXPECT_EQ(server.requestCount(), 1);

    for (const LoopbackResponse& bad :
        {LoopbackResponse::json("{}", 500), LoopbackResponse::json(R"({"latitude": 95, "longitude": 0})")}) {
        answer = bad;
        failures.clear();
        provider->start();
        ASSERT_TRUE(failures.wait(kPatientMs));
        EXPECT_EQ(failures.at(0).at(0).value<MapError>().code, LocationProvider::kErrorUnknown);
    }

    // Stopped before the answer: nothing is delivered.
    answer = LoopbackResponse::json(R"({"latitude": 1, "longitude": 2})");
    fixes.clear();
    provider->start();
    provider->stop();
    QTest::qWait(50);
    EXPECT_EQ(fixes.size(), 0);
}

TEST(LocationProviderTest, WithoutAnEndpointOrServiceEveryStartIsRefusedAndTheUserLocationStartsEmpty)
{
    MapLogCapture log;
    const auto provider = LocationProvider::create(QString());
    QSignalSpy failures(provider.get(), &LocationProvider::didFail);
    provider->start();
    EXPECT_EQ(failures.size(), 0);
    ASSERT_TRUE(failures.wait(kPatientMs));
    EXPECT_EQ(failures.at(0).at(0).value<MapError>().code, LocationProvider::kErrorDenied);
    EXPECT_EQ(log.count(QStringLiteral("network error")), 1);

    GMKUserLocation user;
    EXPECT_EQ(user.coordinate(), MapCoordinate{});
    QSignalSpy changes(&user, &GMKUserLocation::locationChanged);
    MapLocation here;
    here.coordinate = {1, 2};
    here.horizontalAccuracy = 30;
    here.verticalAccuracy = 50;
    user.setLocation(here);
    EXPECT_EQ(user.coordinate(), (MapCoordinate{1, 2}));
    EXPECT_EQ(user.location()->radius(), 50.0);
    EXPECT_EQ(changes.size(), 1);
}
