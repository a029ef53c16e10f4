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
    // The calendar time it started at (the system's time when it was made)
    // plus the virtual time that has passed.
    double wallSeconds() const override;
    void setWallStart(double secondsSince1970);
    void scheduleAt(std::chrono::nanoseconds due, std::function<void()> hook) override;

    void advance(double seconds);
    // How many hooks wait for a later time.
    size_t pendingCount() const;
    // The time of the earliest waiting hook, in seconds from now; negative when none.
    double secondsUntilNext() const;

private:
    mutable std::mutex mutex_;
    std::chrono::nanoseconds now_{0};
    double wallStart_ = KBClock::wallSeconds();
    uint64_t sequence_ = 0;
    std::map<std::pair<std::chrono::nanoseconds, uint64_t>, std::function<void()>> hooks_;
};
