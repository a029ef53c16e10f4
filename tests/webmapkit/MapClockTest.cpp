#include "webmapkit/MapClock.h"
#include "support/Patience.h"

#include <QObject>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

TEST(MapClockTest, ManualClockRunsDueCallsInTimeOrderAndSkipsCancelledOrOrphaned)
{
    ManualMapClock clock;
    std::vector<int> order;
    auto context = std::make_unique<QObject>();
    clock.callAfter(0.5, nullptr, [&]() { order.push_back(2); });
    clock.callAfter(0.2, nullptr, [&]() {
        order.push_back(1);
        // Scheduled from inside a call and still due within the same advance.
        clock.callAfter(0.1, nullptr, [&]() { order.push_back(11); });
    });
    const auto cancelled = clock.callAfter(0.3, nullptr, [&]() { order.push_back(99); });
    clock.callAfter(0.4, context.get(), [&]() { order.push_back(98); });
    clock.cancel(cancelled);
    context.reset();

    const double start = clock.now();
    clock.advance(0.45);
    EXPECT_EQ(order, (std::vector<int>{1, 11}));
    EXPECT_NEAR(clock.now() - start, 0.45, 1e-9);
    clock.advance(0.05);
    EXPECT_EQ(order, (std::vector<int>{1, 11, 2}));
    EXPECT_EQ(clock.pendingCount(), 0);
    EXPECT_FALSE(clock.animates());
}

TEST(MapClockTest, SystemClockCallsLaterAndHonoursCancel)
{
    MapClock* clock = MapClock::system();
    bool ran = false;
    bool cancelledRan = false;
    clock->callAfter(0.0, nullptr, [&]() { ran = true; });
    const auto handle = clock->callAfter(0.0, nullptr, [&]() { cancelledRan = true; });
    clock->cancel(handle);
    EXPECT_FALSE(ran) << "a delayed call never runs before callAfter returns";
    EXPECT_TRUE(QTest::qWaitFor([&]() { return ran; }, kPatientMs));
    QTest::qWait(20);
    EXPECT_FALSE(cancelledRan);

    ManualMapClock manual;
    MapClock::setDefaultClock(&manual);
    EXPECT_EQ(MapClock::defaultClock(), &manual);
    MapClock::setDefaultClock(nullptr);
    EXPECT_EQ(MapClock::defaultClock(), MapClock::system());
}
