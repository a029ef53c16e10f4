#include "kit/support/KBClock.h"

#include "kit/support/KBRealClock.h"

#include <cmath>
#include <limits>
#include <mutex>

namespace {

std::mutex sharedMutex;

std::shared_ptr<KBClock>& installed()
{
    static std::shared_ptr<KBClock> clock;
    return clock;
}

} // namespace

void KBClock::after(double seconds, std::shared_ptr<KBQueue> queue, std::function<void()> block)
{
    const auto due = saturatingAdd(now(), toNanoseconds(seconds));
    if (due == std::chrono::nanoseconds::max()) {
        return;
    }
    scheduleAt(due, [queue = std::move(queue), block = std::move(block)]() mutable { queue->async(std::move(block)); });
}

double KBClock::wallSeconds() const
{
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since).count();
}

std::shared_ptr<KBClock> KBClock::shared()
{
    std::lock_guard lock(sharedMutex);
    if (!installed()) {
        installed() = std::make_shared<KBRealClock>();
    }
    return installed();
}

void KBClock::setShared(std::shared_ptr<KBClock> clock)
{
    std::lock_guard lock(sharedMutex);
    installed() = std::move(clock);
}

std::chrono::nanoseconds KBClock::toNanoseconds(double seconds)
{
    if (std::isnan(seconds) || seconds <= 0.0) {
        return std::chrono::nanoseconds::zero();
    }
    const double nanoseconds = seconds * 1e9;
    // The largest int64 is not exactly a double; compare against 2^63.
    if (nanoseconds >= 9223372036854775808.0) {
        return std::chrono::nanoseconds::max();
    }
    return std::chrono::nanoseconds(static_cast<int64_t>(nanoseconds));
}

std::chrono::nanoseconds KBClock::saturatingAdd(std::chrono::nanoseconds a, std::chrono::nanoseconds b)
{
    if (b.count() > 0 && a.count() > std::numeric_limits<int64_t>::max() - b.count()) {
        return std::chrono::nanoseconds::max();
    }
    return a + b;
}
