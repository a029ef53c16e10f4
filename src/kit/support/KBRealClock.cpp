#include "kit/support/KBRealClock.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <thread>

namespace {

// The timer thread lives for the whole process, like the pool.
asio::io_context& timerThread()
{
    static asio::io_context* context = [] {
        auto* io = new asio::io_context;
        new asio::executor_work_guard<asio::io_context::executor_type>(io->get_executor());
        std::thread([io] { io->run(); }).detach();
        return io;
    }();
    return *context;
}

} // namespace

std::chrono::nanoseconds KBRealClock::now() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

void KBRealClock::scheduleAt(std::chrono::nanoseconds due, std::function<void()> hook)
{
    auto timer = std::make_shared<asio::steady_timer>(timerThread());
    timer->expires_at(std::chrono::steady_clock::time_point(due));
    timer->async_wait([timer, hook = std::move(hook)](const std::error_code& error) {
        if (!error) {
            hook();
        }
    });
}
