#include "kit/support/KBMainQueue.h"

#include "kit/support/KBServiceThread.h"

#include <asio/post.hpp>

#include <atomic>
#include <mutex>

namespace {

std::mutex executorMutex;

KBMainQueue::Executor& boundExecutor()
{
    static KBMainQueue::Executor executor;
    return executor;
}

std::atomic<KBServiceThread*> startedDedicatedThread{nullptr};

// Started on first use and never destroyed; ended at quit.
asio::io_context& dedicatedThread()
{
    static KBServiceThread* thread = [] {
        auto* made = new KBServiceThread;
        startedDedicatedThread.store(made);
        return made;
    }();
    return thread->context();
}

} // namespace

bool KBMainQueue::endDedicatedThread(std::chrono::milliseconds grace)
{
    KBServiceThread* thread = startedDedicatedThread.load();
    return thread == nullptr || thread->end(grace, KBServiceThread::Queued::Run);
}

std::shared_ptr<KBMainQueue> KBMainQueue::shared()
{
    static auto queue = std::make_shared<KBMainQueue>();
    return queue;
}

void KBMainQueue::setExecutor(Executor executor)
{
    std::lock_guard lock(executorMutex);
    boundExecutor() = std::move(executor);
}

void KBMainQueue::async(std::function<void()> block)
{
    Executor executor;
    {
        std::lock_guard lock(executorMutex);
        executor = boundExecutor();
    }
    if (executor) {
        executor(std::move(block));
        return;
    }
    asio::post(dedicatedThread(), std::move(block));
}

std::string KBMainQueue::label() const
{
    return "main";
}
