#pragma once

#include "kit/support/KBClock.h"

#include <atomic>
#include <memory>

// A repeating timer on a kit clock: runs the block on the queue every
// interval until stopped or released. The leeway is how late a firing may
// come; the clock may use it to fire several timers together.
class KBTimer : public std::enable_shared_from_this<KBTimer> {
public:
    static std::shared_ptr<KBTimer> start(std::shared_ptr<KBClock> clock, double interval, double leeway,
        std::shared_ptr<KBQueue> queue, std::function<void()> block);
    ~KBTimer();

    void stop();
    bool isRunning() const;
    double interval() const;
    double leeway() const;

    KBTimer(std::shared_ptr<KBClock> clock, double interval, double leeway, std::shared_ptr<KBQueue> queue,
        std::function<void()> block);

private:
    void arm(std::chrono::nanoseconds due);

    std::shared_ptr<KBClock> clock_;
    double interval_;
    double leeway_;
    std::shared_ptr<KBQueue> queue_;
    std::function<void()> block_;
    std::atomic<bool> running_{true};
};
