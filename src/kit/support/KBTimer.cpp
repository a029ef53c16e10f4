#include "kit/support/KBTimer.h"

std::shared_ptr<KBTimer> KBTimer::start(std::shared_ptr<KBClock> clock, double interval, double leeway,
    std::shared_ptr<KBQueue> queue, std::function<void()> block)
{
    auto timer = std::make_shared<KBTimer>(std::move(clock), interval, leeway, std::move(queue), std::move(block));
    timer->arm(KBClock::saturatingAdd(timer->clock_->now(), KBClock::toNanoseconds(interval)));
    return timer;
}

KBTimer::KBTimer(std::shared_ptr<KBClock> clock, double interval, double leeway, std::shared_ptr<KBQueue> queue,
    std::function<void()> block)
    : clock_(std::move(clock))
    , interval_(interval)
    , leeway_(leeway)
    , queue_(std::move(queue))
    , block_(std::move(block))
{
}

KBTimer::~KBTimer()
{
    stop();
}

void KBTimer::stop()
{
    running_.store(false);
}

bool KBTimer::isRunning() const
{
    return running_.load();
}

double KBTimer::interval() const
{
    return interval_;
}

double KBTimer::leeway() const
{
    return leeway_;
}

void KBTimer::arm(std::chrono::nanoseconds due)
{
    // A zero interval would fire without end inside one advance.
    if (due == std::chrono::nanoseconds::max() || interval_ <= 0.0) {
        return;
    }
    std::weak_ptr<KBTimer> weak = weak_from_this();
    clock_->scheduleAt(due, [weak, due] {
        auto timer = weak.lock();
        if (!timer || !timer->isRunning()) {
            return;
        }
        // The next firing is counted from this one, not from when the block ran.
        timer->arm(KBClock::saturatingAdd(due, KBClock::toNanoseconds(timer->interval_)));
        timer->queue_->async([weak] {
            if (auto live = weak.lock(); live && live->isRunning()) {
                live->block_();
            }
        });
    });
}
