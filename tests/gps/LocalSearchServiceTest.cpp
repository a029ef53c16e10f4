#include "gps/LocalSearchService.h"
#include "support/HostileAnswers.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "support/ProcessMemory.h"
#include "webmapkit/MapClock.h"
#include "webmapkit/MapSearchPacing.h"
#include "webmapkit/MapTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

struct Outcome {
    bool answered = false;
    std::optional<MapRegion> region;
};

// Searches on a manual clock, letting the turn of the next search come.
Outcome searchFor(LocalSearchService& service, const QString& text, ManualMapClock& clock)
{
    Outcome outcome;
    service.search(text, [&](const std::optional<MapRegion>& region) {
        outcome.answered = true;
        outcome.region = region;
    });
    EXPECT_FALSE(outcome.answered) << "answers come on a later turn";
    clock.advance(MapSearchPacing::kSpacingSeconds);
    EXPECT_TRUE(QTest::qWaitFor([&]() { return outcome.answered; }, kPatientMs));
    return outcome;
}

// A manual clock and no answers kept from earlier tests.
struct PacedSearches {
    PacedSearches()
    {
        MapClock::setDefaultClock(&clock);
        MapSearchPacing::shared()->forget();
    }
    ~PacedSearches() { MapClock::setDefaultClock(nullptr); }
    ManualMapClock clock;
};

} // namespace

TEST(LocalSearchServiceTest, TheFirstPlacesBoundingBoxGivesTheRegion)
{
    PacedSearches paced;
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    server.setHandler([](const LoopbackRequest&) {
        return LoopbackResponse::json(R"([{"boundingbox": ["35.65", "35.66", "139.74", "139.75"]},
                                          {"boundingbox": ["0", "1", "0", "1"]}])");
    });
    LocalSearchService service(server.url(QStringLiteral("/search")));
    const Outcome found = searchFor(service, QStringLiteral("Tokyo Tower+1"), paced.clock);
    ASSERT_TRUE(found.region.has_value());
    EXPECT_NEAR(found.region->center.latitude, 35.655, 1e-9);
    EXPECT_NEAR(found.region->center.longitude, 139.745, 1e-9);
    EXPECT_NEAR(found.region->latitudeDelta, 0.01, 1e-9);
    EXPECT_NEAR(found.region->longitudeDelta, 0.01, 1e-9);
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].target, QByteArray("/search?q=Tokyo%20Tower%2B1"));

    // Numbers as numbers, and a box across the date line.
    const auto fiji = LocalSearchService::regionFromAnswer(R"([{"boundingbox": [-21.0, -12.0, 176.0, -178.0]}])");
    ASSERT_TRUE(fiji.has_value());
    EXPECT_NEAR(fiji->longitudeDelta, 6.0, 1e-9);
    EXPECT_NEAR(fiji->center.longitude, 179.0, 1e-9);
}

TEST(LocalSearchServiceTest, AnythingElseGivesNoRegion)
{
    PacedSearches paced;
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    LoopbackResponse answer;
    server.setHandler([&](const LoopbackRequest&) { return answer; });
    const LoopbackResponse answers[] = {
        LoopbackResponse::json("[]"),
        LoopbackResponse::json("[]", 500),
        LoopbackResponse::json("[{\"boundingbox\": [1, 2, 3"),
        LoopbackResponse::json(R"([{"boundingbox": ["north", "2", "3", "4"]}])"),
        LoopbackResponse::json(R"([{"boundingbox": [50, 40, 3, 4]}])"),
        LoopbackResponse::json(R"({"boundingbox": [1, 2, 3, 4]})"),
    };
    LocalSearchService service(server.url(QStringLiteral("/search")));
    int asked = 0;
    for (const LoopbackResponse& each : answers) {
        answer = each;
        // A new text each time: an answer the service gave is kept for the session.
        EXPECT_FALSE(searchFor(service, QStringLiteral("somewhere %1").arg(++asked), paced.clock).region.has_value())
            << each.body.toStdString();
    }

    // Endless or huge answers stop at the cap with a logged error, in bounded memory.
    for (const LoopbackResponse& hostile : {HostileAnswers::endless(), HostileAnswers::huge(true)}) {
        answer = hostile;
        MapLogCapture capped;
        const qint64 baseline = ProcessMemory::residentBytes();
        const bool measured = ProcessMemory::resetPeak() && baseline > 0;
        EXPECT_FALSE(searchFor(service, QStringLiteral("somewhere %1").arg(++asked), paced.clock).region.has_value());
        EXPECT_EQ(capped.count(QStringLiteral("network error: place search")), 1);
        if (measured) {
            EXPECT_LT(ProcessMemory::peakBytes() - baseline, HostileAnswers::kMemoryBound);
        }
    }

    MapLogCapture log;
    LocalSearchService unconfigured{QString()};
    EXPECT_FALSE(searchFor(unconfigured, QStringLiteral("somewhere"), paced.clock).region.has_value());
    EXPECT_EQ(log.count(QStringLiteral("network error")), 1);
}
