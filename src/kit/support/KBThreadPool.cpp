#include "kit/support/KBThreadPool.h"

#include "kit/support/KBQueue.h"

#include <asio/post.hpp>

#include <algorithm>
#include <thread>

asio::thread_pool& KBThreadPool::shared()
{
    // Serial queues may block a worker in sync(); keep enough of them that a
    // few waiting blocks never starve the rest.
    static auto* pool = new asio::thread_pool(std::max(8u, std::thread::hardware_concurrency()));
    return *pool;
}

namespace {

class KBGlobalQueue : public KBQueue {
public:
    void async(std::function<void()> block) override
    {
        asio::post(KBThreadPool::shared(), std::move(block));
    }
    std::string label() const override
    {
        return "global";
    }
};

}  // namespace

std::shared_ptr<KBQueue> KBQueue::global()
{
    static auto queue = std::make_shared<KBGlobalQueue>();
    return queue;
}
