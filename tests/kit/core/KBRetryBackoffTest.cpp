#include "kit/core/KBRetryBackoff.h"
#include "kit/support/KBVirtualClock.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::optional<KBHTTPURLResponse> askingFor(const std::string& retryAfter)
{
    KBHTTPURLResponse response;
    response.statusCode = 429;
    response.headers.set("Retry-After", retryAfter);
    return response;
}

} // namespace

// The three forms of one instant, as servers send them; anything that is not
// a whole date is no date, whatever it starts with.
TEST(KBRetryBackoffTest, HTTPDatesOfEveryFormReadAsTheSameInstant)
{
    const double instant = 784111777.0; // 1994-11-06 08:49:37 UTC
    EXPECT_EQ(KBRetryBackoff::secondsSince1970ForHTTPDate("Sun, 06 Nov 1994 08:49:37 GMT"), instant);
    EXPECT_EQ(KBRetryBackoff::secondsSince1970ForHTTPDate("Sunday, 06-Nov-94 08:49:37 GMT"), instant);
    EXPECT_EQ(KBRetryBackoff::secondsSince1970ForHTTPDate("Sun Nov  6 08:49:37 1994"), instant);
    EXPECT_EQ(KBRetryBackoff::secondsSince1970ForHTTPDate("Thu, 29 Feb 2024 23:59:59 GMT"), 1709251199.0);
    for (const char* bad :
        {"", "soon", "Sun, 06 Nov 1994", "Sun, 31 Nov 1994 08:49:37 GMT", "Fri, 29 Feb 2023 10:00:00 GMT",
            "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 1994 8:49:37 GMT", "Sun, 06 Nov Nov 1994 08:49:37 GMT"}) {
        EXPECT_FALSE(KBRetryBackoff::secondsSince1970ForHTTPDate(bad).has_value()) << bad;
    }
}

TEST(KBRetryBackoffTest, WaitsDoubleUpToTheCapAndNeverUndercutTheServer)
{
    auto clock = std::make_shared<KBVirtualClock>();
    clock->setWallStart(784111777.0 - 100.0);
    KBClock::setShared(clock);
    EXPECT_EQ(KBRetryBackoff::requestedDelay(askingFor("Sun, 06 Nov 1994 08:49:37 GMT")), 100.0);
    EXPECT_EQ(KBRetryBackoff::requestedDelay(askingFor(" 45 ")), 45.0);
    // A date already past asks for nothing; nonsense and negatives are ignored.
    clock->advance(500);
    EXPECT_EQ(KBRetryBackoff::requestedDelay(askingFor("Sun, 06 Nov 1994 08:49:37 GMT")), 0.0);
    for (const char* ignored : {"-3", "12abc", "later"}) {
        EXPECT_FALSE(KBRetryBackoff::requestedDelay(askingFor(ignored)).has_value()) << ignored;
    }
    EXPECT_FALSE(KBRetryBackoff::requestedDelay(std::nullopt).has_value());
    KBClock::setShared(nullptr);

    std::vector<double> waits;
    for (uint64_t retries = 0; retries < 13; ++retries) {
        waits.push_back(KBRetryBackoff::delay(std::nullopt, retries));
    }
    EXPECT_EQ(waits, (std::vector<double>{2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 3600, 3600}));
    EXPECT_EQ(KBRetryBackoff::delay(std::nullopt, 1u << 20), KBRetryBackoff::kMaximumDelay);
    // Jitter spreads the doubled wait but stays under the cap; the server's
    // wait is never shortened, by jitter or by the cap.
    EXPECT_DOUBLE_EQ(KBRetryBackoff::delay(std::nullopt, 2, 0.9), 7.2);
    EXPECT_EQ(KBRetryBackoff::delay(std::nullopt, 11, 1.1), KBRetryBackoff::kMaximumDelay);
    EXPECT_EQ(KBRetryBackoff::delay(30.0, 0, 0.9), 30.0);
    EXPECT_EQ(KBRetryBackoff::delay(86400.0, 20), 86400.0);
}
