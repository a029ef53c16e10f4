#pragma once

#include "kit/support/KBClock.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

// A clock that moves only when told to. advance() fires every due hook in
// time order (equal times in the order they were scheduled).
class KBVirtualClock : public KBClock {
public:
    std::chrono::nanoseconds now() const override;
    void scheduleAt(std::chrono::nanoseconds due, std::function<void()> hook) override;

    void advance(double seconds);
    // How many hooks wait for a later time.
    size_t pendingCount() const;
    // The time of the earliest waiting hook, in seconds from now; negative when none.
    double secondsUntilNext() const;

private:
    mutable std::mutex mutex_;
    std::chrono::nanoseconds now_{0};
    uint64_t sequence_ = 0;
    std::map<std::pair<std::chrono::nanoseconds, uint64_t>, std::function<void()>> hooks_;
};
