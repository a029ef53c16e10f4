#include "kit/support/KBThreadPool.h"

#include "kit/support/KBQueue.h"

#include <asio/post.hpp>

#include <algorithm>
#include <atomic>
#include <thread>

asio::thread_pool& KBThreadPool::shared()
{
    // Serial queues may block a worker in sync(); keep enough of them that a
    // few waiting blocks never starve the rest.
    static auto* pool = new asio::thread_pool(std::max(8u, std::thread::hardware_concurrency()));
    return *pool;
}

namespace {

std::atomic<void (*)(const char*)> gWillRun{nullptr};
std::atomic<void (*)()> gDidRun{nullptr};

} // namespace

void KBThreadPool::setBlockObserver(BlockObserver observer)
{
    gDidRun.store(observer.didRun);
    gWillRun.store(observer.willRun);
}

void KBThreadPool::runObserved(const char* label, const std::function<void()>& block)
{
    auto* willRun = gWillRun.load();
    if (willRun != nullptr) {
        willRun(label);
    }
    block();
    auto* didRun = gDidRun.load();
    if (didRun != nullptr) {
        didRun();
    }
}

namespace {

class KBGlobalQueue : public KBQueue {
public:
    void async(std::function<void()> block) override
    {
        asio::post(KBThreadPool::shared(), [block = std::move(block)] { KBThreadPool::runObserved(nullptr, block); });
    }
    std::string label() const override { return "global"; }
};

} // namespace

std::shared_ptr<KBQueue> KBQueue::global()
{
    static auto queue = std::make_shared<KBGlobalQueue>();
    return queue;
}
