#pragma once

#include "kit/support/KBQueue.h"

#include <deque>
#include <mutex>

// A queue that runs nothing until the test pumps it, so that tests decide
// exactly when queued blocks run (also usable as the main queue's executor).
class ManualQueue : public KBQueue {
public:
    void async(std::function<void()> block) override
    {
        std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(block));
    }
    std::string label() const override { return "manual"; }
    // Runs queued blocks, also those queued while pumping; returns how many ran.
    size_t pump()
    {
        size_t ran = 0;
        for (;;) {
            std::function<void()> block;
            {
                std::lock_guard lock(mutex_);
                if (blocks_.empty()) {
                    return ran;
                }
                block = std::move(blocks_.front());
                blocks_.pop_front();
            }
            block();
            ++ran;
        }
    }
    size_t size() const
    {
        std::lock_guard lock(mutex_);
        return blocks_.size();
    }

private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> blocks_;
};
