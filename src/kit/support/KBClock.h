#pragma once

#include "kit/support/KBQueue.h"

#include <chrono>
#include <functional>
#include <memory>

// Every delay and timer of the kit runs on a clock, so that tests of back-off
// and retries can run on a virtual one and take no real time.
class KBClock {
public:
    virtual ~KBClock() = default;

    // Monotonic time of this clock.
    virtual std::chrono::nanoseconds now() const = 0;

    // Calendar time in seconds since 1970, as this clock sees it: the system's
    // for the real clock; a virtual clock moves it only as it advances, so
    // times written into files follow the virtual time.
    virtual double wallSeconds() const;

    // Runs the block on the queue once the delay has passed. A delay too long
    // to represent never fires.
    void after(double seconds, std::shared_ptr<KBQueue> queue, std::function<void()> block);

    // Calls the hook on the clock's own thread (or inside a virtual advance)
    // when the clock reaches the time. The hook must be short: it hands work on.
    virtual void scheduleAt(std::chrono::nanoseconds due, std::function<void()> hook) = 0;

    // The clock of the kit: the real one unless a test installed another.
    static std::shared_ptr<KBClock> shared();
    static void setShared(std::shared_ptr<KBClock> clock);

    // Seconds to nanoseconds, saturating: negative and NaN give 0, values past
    // the range give the largest duration.
    static std::chrono::nanoseconds toNanoseconds(double seconds);
    static std::chrono::nanoseconds saturatingAdd(std::chrono::nanoseconds a, std::chrono::nanoseconds b);
};
