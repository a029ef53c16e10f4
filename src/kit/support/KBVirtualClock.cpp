#include "kit/support/KBVirtualClock.h"

std::chrono::nanoseconds KBVirtualClock::now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

double KBVirtualClock::wallSeconds() const
{
    std::lock_guard lock(mutex_);
    return wallStart_ + static_cast<double>(now_.count()) / 1e9;
}

void KBVirtualClock::setWallStart(double secondsSince1970)
{
    std::lock_guard lock(mutex_);
    wallStart_ = secondsSince1970;
}

void KBVirtualClock::scheduleAt(std::chrono::nanoseconds due, std::function<void()> hook)
{
    std::lock_guard lock(mutex_);
    hooks_.emplace(std::make_pair(due, sequence_++), std::move(hook));
}

void KBVirtualClock::advance(double seconds)
{
    std::chrono::nanoseconds target;
    {
        std::lock_guard lock(mutex_);
        target = saturatingAdd(now_, toNanoseconds(seconds));
    }
    for (;;) {
        std::function<void()> hook;
        {
            std::lock_guard lock(mutex_);
            if (hooks_.empty() || hooks_.begin()->first.first > target) {
                now_ = target;
                return;
            }
            now_ = hooks_.begin()->first.first;
            hook = std::move(hooks_.begin()->second);
            hooks_.erase(hooks_.begin());
        }
        // Called unlocked: a hook may schedule again (a repeating timer).
        hook();
    }
}

size_t KBVirtualClock::pendingCount() const
{
    std::lock_guard lock(mutex_);
    return hooks_.size();
}

double KBVirtualClock::secondsUntilNext() const
{
    std::lock_guard lock(mutex_);
    if (hooks_.empty()) {
        return -1.0;
    }
    return static_cast<double>((hooks_.begin()->first.first - now_).count()) / 1e9;
}
