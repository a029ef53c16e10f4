#include "kit/support/KBSerialQueue.h"

#include "kit/support/KBLog.h"
#include "kit/support/KBThreadPool.h"

#include <asio/post.hpp>

#include <cstdlib>
#include <future>

KBSerialQueue::KBSerialQueue(std::string label)
    : label_(std::move(label))
    , strand_(asio::make_strand(KBThreadPool::shared().get_executor()))
{
}

void KBSerialQueue::async(std::function<void()> block)
{
    // The block carries its own copy of the label: the queue may go before it runs.
    asio::post(
        strand_, [label = label_, block = std::move(block)] { KBThreadPool::runObserved(label.c_str(), block); });
}

void KBSerialQueue::sync(const std::function<void()>& block)
{
    if (isCurrent()) {
        KBLog::info("[Kitbase] sync onto the current queue " + label_ + " would deadlock");
        std::abort();
    }
    if (KBThreadPool::hasFinished()) {
        // No worker is left to run it, and none runs beside the caller.
        block();
        return;
    }
    std::promise<void> done;
    asio::post(strand_, [this, &block, &done] {
        KBThreadPool::runObserved(label_.c_str(), block);
        done.set_value();
    });
    done.get_future().wait();
}

bool KBSerialQueue::isCurrent() const
{
    return strand_.running_in_this_thread();
}

std::string KBSerialQueue::label() const
{
    return label_;
}
