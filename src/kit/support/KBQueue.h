#pragma once

#include <functional>
#include <memory>
#include <string>

// Where the kit runs work. The global queue is concurrent over the kit's
// thread pool; serial queues and the main queue run one block at a time.
class KBQueue {
public:
    virtual ~KBQueue() = default;
    virtual void async(std::function<void()> block) = 0;
    virtual std::string label() const = 0;

    // The process-wide concurrent queue of default priority.
    static std::shared_ptr<KBQueue> global();
};
