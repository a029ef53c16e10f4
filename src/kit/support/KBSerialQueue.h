#pragma once

#include "kit/support/KBQueue.h"

#include <asio/strand.hpp>
#include <asio/thread_pool.hpp>

// A serial queue: blocks run one at a time, in order, on the kit's pool.
class KBSerialQueue : public KBQueue {
public:
    explicit KBSerialQueue(std::string label);

    void async(std::function<void()> block) override;
    // Runs the block on the queue and waits for it. Calling it from a block of
    // the same queue would wait forever, so that aborts with a message.
    void sync(const std::function<void()>& block);
    // True inside a block of this queue.
    bool isCurrent() const;
    std::string label() const override;

private:
    std::string label_;
    asio::strand<asio::thread_pool::executor_type> strand_;
};
