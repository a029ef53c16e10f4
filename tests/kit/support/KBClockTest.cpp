#include "kit/support/KBTimer.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/support/harness/ManualQueue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(KBClockTest, SecondsToNanosecondsSaturates)
{
    const std::vector<std::pair<double, int64_t>> cases = {
        {0.0, 0},
        {-5.0, 0},
        {std::nan(""), 0},
        {1.5, 1'500'000'000},
        {1e30, std::numeric_limits<int64_t>::max()},
        {std::numeric_limits<double>::infinity(), std::numeric_limits<int64_t>::max()},
    };
    for (const auto& [seconds, nanoseconds] : cases) {
        EXPECT_EQ(KBClock::toNanoseconds(seconds).count(), nanoseconds) << seconds;
    }
    EXPECT_EQ(KBClock::saturatingAdd(std::chrono::nanoseconds::max(), std::chrono::nanoseconds(1)),
        std::chrono::nanoseconds::max());
}

TEST(KBClockTest, DelayedBlocksFireOnlyOnceTheirTimeHasPassed)
{
    auto clock = std::make_shared<KBVirtualClock>();
    auto queue = std::make_shared<ManualQueue>();
    std::vector<std::string> fired;
    clock->after(30, queue, [&] { fired.push_back("30"); });
    clock->after(1e30, queue, [&] { fired.push_back("never"); });
    clock->after(5, queue, [&] { fired.push_back("5"); });

    clock->advance(29.9);
    queue->pump();
    EXPECT_EQ(fired, (std::vector<std::string>{"5"}));
    clock->advance(0.1);
    queue->pump();
    EXPECT_EQ(fired, (std::vector<std::string>{"5", "30"}));
    clock->advance(1e30);
    queue->pump();
    EXPECT_EQ(fired.size(), 2u);
}

TEST(KBClockTest, RepeatingTimerFiresEachIntervalAndStopsWhenReleased)
{
    auto clock = std::make_shared<KBVirtualClock>();
    auto queue = std::make_shared<ManualQueue>();
    int ticks = 0;
    auto timer = KBTimer::start(clock, 10, 1, queue, [&] { ++ticks; });
    clock->advance(35);
    queue->pump();
    EXPECT_EQ(ticks, 3);

    // Released with a firing already queued: that one must not run either.
    clock->advance(5);
    timer.reset();
    queue->pump();
    clock->advance(100);
    queue->pump();
    EXPECT_EQ(ticks, 3);
}

TEST(KBClockTest, VirtualCalendarTimeMovesOnlyWithTheVirtualClock)
{
    auto clock = std::make_shared<KBVirtualClock>();
    const double real = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_NEAR(clock->wallSeconds(), real, 5.0);

    clock->setWallStart(1'700'000'000.0);
    EXPECT_EQ(clock->wallSeconds(), 1'700'000'000.0);
    clock->advance(2.5);
    EXPECT_EQ(clock->wallSeconds(), 1'700'000'002.5);
}
