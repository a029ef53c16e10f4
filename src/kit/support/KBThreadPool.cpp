#include "kit/support/KBThreadPool.h"

#include "kit/support/KBQueue.h"

#include <asio/post.hpp>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>

asio::thread_pool& KBThreadPool::shared()
{
    // Serial queues may block a worker in sync(); keep enough of them that a
    // few waiting blocks never starve the rest.
    static auto* pool = new asio::thread_pool(std::max(8u, std::thread::hardware_concurrency()));
    return *pool;
}

namespace {

std::atomic<bool> gEnded{false};

} // namespace

bool KBThreadPool::finish(std::chrono::milliseconds grace)
{
    static std::mutex finishing;
    // The joiner outlives a call that gave up on it: a later call waits on it
    // again rather than joining the pool twice.
    static std::shared_future<void> joined;
    std::lock_guard lock(finishing);
    if (gEnded.load()) {
        return true;
    }
    asio::thread_pool& pool = shared();
    if (!joined.valid()) {
        auto done = std::make_shared<std::promise<void>>();
        joined = done->get_future().share();
        // Without a stop, the pool's join returns once its queued work has run.
        std::thread([&pool, done] {
            pool.join();
            done->set_value();
        }).detach();
    }
    if (joined.wait_for(grace) != std::future_status::ready) {
        // Work that will not end by itself: drop what is queued and wait for
        // the blocks that are running.
        pool.stop();
        if (joined.wait_for(grace) != std::future_status::ready) {
            return false;
        }
    }
    gEnded.store(true);
    return true;
}

bool KBThreadPool::hasFinished()
{
    return gEnded.load();
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
