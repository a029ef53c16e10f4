#include "kit/support/KBMainQueue.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <mutex>
#include <thread>

namespace {

std::mutex executorMutex;

KBMainQueue::Executor& boundExecutor()
{
    static KBMainQueue::Executor executor;
    return executor;
}

// Started on first use and kept for the process's life.
asio::io_context& dedicatedThread()
{
    static asio::io_context* context = [] {
        auto* io = new asio::io_context;
        auto* guard = new asio::executor_work_guard<asio::io_context::executor_type>(io->get_executor());
        (void)guard;
        std::thread([io] { io->run(); }).detach();
        return io;
    }();
    return *context;
}

} // namespace

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
