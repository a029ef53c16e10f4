#include "kit/tally/TYTimer.h"

TYTimer::TYTimer(double timeInterval, std::shared_ptr<KBOperationQueue> queue, std::string timerIdentifier,
    std::function<void()> block, std::shared_ptr<KBQueue> dispatchQueue)
    : timerIdentifier_(std::move(timerIdentifier))
    , timeInterval_(timeInterval)
    , timerBlock_(std::move(block))
    , queue_(std::move(queue))
    , self_(std::make_shared<TYTimer*>(this))
{
    scheduleDispatchTimer(std::move(dispatchQueue));
}

TYTimer::~TYTimer()
{
    if (timerSource_) {
        timerSource_->stop();
    }
}

double TYTimer::tolerance() const
{
    return timeInterval_ / 10.0;
}

void TYTimer::executeBlock()
{
    if (queue_ && timerBlock_) {
        queue_->addOperationWithBlock(timerBlock_);
    }
}

void TYTimer::scheduleDispatchTimer(std::shared_ptr<KBQueue> dispatchQueue)
{
    std::weak_ptr<TYTimer*> weak = self_;
    timerSource_ = KBTimer::start(KBClock::shared(), timeInterval_, tolerance(), std::move(dispatchQueue), [weak] {
        if (auto self = weak.lock()) {
            (*self)->executeBlock();
        }
    });
}

const std::string& TYTimer::timerIdentifier() const
{
    return timerIdentifier_;
}

double TYTimer::timeInterval() const
{
    return timeInterval_;
}

const std::shared_ptr<KBOperationQueue>& TYTimer::queue() const
{
    return queue_;
}

const std::shared_ptr<KBTimer>& TYTimer::timerSource() const
{
    return timerSource_;
}
