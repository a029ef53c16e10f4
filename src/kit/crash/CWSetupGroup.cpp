#include "kit/crash/CWSetupGroup.h"

#include <condition_variable>
#include <mutex>

#include "kit/support/KBClock.h"
#include "kit/support/KBQueue.h"

struct CWSetupGroup::State : std::enable_shared_from_this<CWSetupGroup::State> {
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    bool notified = false;
    bool completed = false;
    bool timedOut = false;
    std::shared_ptr<KBQueue> completionQueue;
    std::function<void()> completion;

    // Called with the lock held: hands the completion on when nothing runs.
    void completeIfIdle()
    {
        if (!notified || running > 0 || !completion) {
            return;
        }
        auto queue = std::move(completionQueue);
        auto block = std::move(completion);
        completion = nullptr;
        queue->async([self = shared_from_this(), block = std::move(block)]() {
            block();
            std::lock_guard lock(self->mutex);
            self->completed = true;
            self->changed.notify_all();
        });
    }
};

CWSetupGroup::CWSetupGroup()
    : state_(std::make_shared<State>())
{
}

void CWSetupGroup::async(const std::shared_ptr<KBQueue>& queue, std::function<void()> job)
{
    {
        std::lock_guard lock(state_->mutex);
        ++state_->running;
    }
    queue->async([state = state_, job = std::move(job)]() {
        job();
        std::lock_guard lock(state->mutex);
        --state->running;
        state->completeIfIdle();
    });
}

void CWSetupGroup::notify(const std::shared_ptr<KBQueue>& queue, std::function<void()> completion)
{
    std::lock_guard lock(state_->mutex);
    state_->notified = true;
    state_->completionQueue = queue;
    state_->completion = std::move(completion);
    state_->completeIfIdle();
}

bool CWSetupGroup::wait(KBClock& clock, double seconds)
{
    std::weak_ptr<State> weak = state_;
    clock.scheduleAt(KBClock::saturatingAdd(clock.now(), KBClock::toNanoseconds(seconds)), [weak]() {
        if (auto state = weak.lock()) {
            std::lock_guard lock(state->mutex);
            state->timedOut = true;
            state->changed.notify_all();
        }
    });
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->completed || state_->timedOut; });
    return state_->completed;
}
