#include "kit/support/KBRealClock.h"

#include "kit/support/KBServiceThread.h"

#include <asio/steady_timer.hpp>

#include <atomic>

namespace {

std::atomic<KBServiceThread*> startedTimerThread{nullptr};

// The timer thread is made on first use and never destroyed: a timer set
// while the process exits meets a live context, which no longer runs it once
// the thread has ended.
asio::io_context& timerThread()
{
    static KBServiceThread* thread = [] {
        auto* made = new KBServiceThread;
        startedTimerThread.store(made);
        return made;
    }();
    return thread->context();
}

} // namespace

bool KBRealClock::endTimerThread(std::chrono::milliseconds grace)
{
    KBServiceThread* thread = startedTimerThread.load();
    return thread == nullptr || thread->end(grace, KBServiceThread::Queued::Drop);
}

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
