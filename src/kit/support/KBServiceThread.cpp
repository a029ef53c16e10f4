#include "kit/support/KBServiceThread.h"

KBServiceThread::KBServiceThread()
    : guard_(context_.get_executor())
    , whenFinished_(finished_.get_future().share())
{
    thread_ = std::thread([this] {
        context_.run();
        finished_.set_value();
    });
}

bool KBServiceThread::end(std::chrono::milliseconds grace, Queued queued)
{
    std::lock_guard lock(endMutex_);
    if (ended_) {
        return true;
    }
    // Without its guard the context's run returns once nothing is queued.
    guard_.reset();
    if (thread_.get_id() == std::this_thread::get_id()) {
        // Ended from its own block: the thread finishes when that returns.
        context_.stop();
        thread_.detach();
        ended_ = true;
        return true;
    }
    if (queued == Queued::Drop || whenFinished_.wait_for(grace) != std::future_status::ready) {
        context_.stop();
    }
    if (whenFinished_.wait_for(grace) == std::future_status::ready) {
        thread_.join();
        ended_ = true;
    }
    return ended_;
}
