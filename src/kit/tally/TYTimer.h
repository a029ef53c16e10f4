#pragma once

#include "kit/support/KBOperationQueue.h"
#include "kit/support/KBTimer.h"

#include <functional>
#include <memory>
#include <string>

// A repeating timer on the kit clock that adds its block to an operation
// queue each interval, with a tenth of the interval as leeway. It stops when
// released. (Linux has no background activity scheduler, so the timer is
// always the clock's.)
class TYTimer {
public:
    // The firing hops through the dispatch queue (the global one unless a
    // test gives its own) onto the operation queue.
    TYTimer(double timeInterval, std::shared_ptr<KBOperationQueue> queue, std::string timerIdentifier,
        std::function<void()> block, std::shared_ptr<KBQueue> dispatchQueue = KBQueue::global());
    ~TYTimer();
    TYTimer(const TYTimer&) = delete;
    TYTimer& operator=(const TYTimer&) = delete;

    double tolerance() const;
    void executeBlock();

    const std::string& timerIdentifier() const;
    double timeInterval() const;
    const std::shared_ptr<KBOperationQueue>& queue() const;
    const std::shared_ptr<KBTimer>& timerSource() const;

private:
    void scheduleDispatchTimer(std::shared_ptr<KBQueue> dispatchQueue);

    std::string timerIdentifier_;
    double timeInterval_;
    std::function<void()> timerBlock_;
    std::shared_ptr<KBOperationQueue> queue_;
    std::shared_ptr<KBTimer> timerSource_;
    // Lets the source's handler reach the timer only while it lives.
    std::shared_ptr<TYTimer*> self_;
};
