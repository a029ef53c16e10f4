#include "kit/support/KBOperationQueue.h"

#include "kit/support/KBMainQueue.h"
#include "kit/support/KBOperationGraph.h"

#include <algorithm>

std::mutex& KBOperationGraph::mutex()
{
    static std::mutex lock;
    return lock;
}

std::condition_variable& KBOperationGraph::changed()
{
    static std::condition_variable condition;
    return condition;
}

namespace {

thread_local KBOperationQueue* runningQueue = nullptr;

class CurrentQueueScope {
public:
    explicit CurrentQueueScope(KBOperationQueue* queue)
        : previous_(runningQueue)
    {
        runningQueue = queue;
    }
    ~CurrentQueueScope() { runningQueue = previous_; }

private:
    KBOperationQueue* previous_;
};

} // namespace

std::shared_ptr<KBOperationQueue> KBOperationQueue::make(std::string name, std::shared_ptr<KBQueue> target)
{
    return std::make_shared<KBOperationQueue>(std::move(name), std::move(target));
}

std::shared_ptr<KBOperationQueue> KBOperationQueue::mainQueue()
{
    static auto queue = [] {
        auto made = make("main", KBMainQueue::shared());
        made->setMaxConcurrentOperationCount(1);
        return made;
    }();
    return queue;
}

std::shared_ptr<KBOperationQueue> KBOperationQueue::currentQueue()
{
    return runningQueue != nullptr ? runningQueue->shared_from_this() : nullptr;
}

KBOperationQueue::KBOperationQueue(std::string name, std::shared_ptr<KBQueue> target)
    : name_(std::move(name))
    , target_(std::move(target))
{
}

void KBOperationQueue::setMaxConcurrentOperationCount(int count)
{
    {
        std::lock_guard lock(KBOperationGraph::mutex());
        maxConcurrent_ = count;
    }
    startReadyOperations();
}

int KBOperationQueue::maxConcurrentOperationCount() const
{
    std::lock_guard lock(KBOperationGraph::mutex());
    return maxConcurrent_;
}

std::string KBOperationQueue::name() const
{
    return name_;
}

void KBOperationQueue::addOperation(const std::shared_ptr<KBOperation>& operation)
{
    if (!operation) {
        return;
    }
    {
        std::lock_guard lock(KBOperationGraph::mutex());
        if (operation->finished_ || operation->started_ || !operation->queue_.expired()) {
            return;
        }
        operation->queue_ = weak_from_this();
        waiting_.push_back(operation);
    }
    startReadyOperations();
}

std::shared_ptr<KBOperation> KBOperationQueue::addOperationWithBlock(std::function<void()> block)
{
    auto operation = std::make_shared<KBBlockOperation>(std::move(block));
    addOperation(operation);
    return operation;
}

std::vector<std::shared_ptr<KBOperation>> KBOperationQueue::operations() const
{
    std::lock_guard lock(KBOperationGraph::mutex());
    std::vector<std::shared_ptr<KBOperation>> all(running_.begin(), running_.end());
    all.insert(all.end(), waiting_.begin(), waiting_.end());
    return all;
}

size_t KBOperationQueue::operationCount() const
{
    std::lock_guard lock(KBOperationGraph::mutex());
    return running_.size() + waiting_.size();
}

void KBOperationQueue::cancelAllOperations()
{
    for (const auto& operation : operations()) {
        operation->cancel();
    }
}

void KBOperationQueue::waitUntilAllOperationsAreFinished() const
{
    std::unique_lock lock(KBOperationGraph::mutex());
    KBOperationGraph::changed().wait(lock, [this] { return waiting_.empty() && running_.empty(); });
}

void KBOperationQueue::startReadyOperations()
{
    std::vector<std::shared_ptr<KBOperation>> launch;
    {
        std::lock_guard lock(KBOperationGraph::mutex());
        const size_t limit
            = maxConcurrent_ < 0 ? std::numeric_limits<size_t>::max() : static_cast<size_t>(maxConcurrent_);
        auto it = waiting_.begin();
        while (running_.size() < limit && it != waiting_.end()) {
            if (!(*it)->readyLocked()) {
                ++it;
                continue;
            }
            running_.push_back(*it);
            launch.push_back(*it);
            it = waiting_.erase(it);
        }
    }
    auto self = shared_from_this();
    for (auto& operation : launch) {
        target_->async([self, operation] {
            if (!self->stillReady(operation)) {
                self->startReadyOperations();
                return;
            }
            CurrentQueueScope scope(self.get());
            operation->start();
        });
    }
}

bool KBOperationQueue::stillReady(const std::shared_ptr<KBOperation>& operation)
{
    // A dependency may have been added between the hand-over to the target
    // queue and now; such an operation goes back to wait, keeping its age.
    std::lock_guard lock(KBOperationGraph::mutex());
    if (operation->readyLocked()) {
        return true;
    }
    running_.erase(std::find(running_.begin(), running_.end(), operation));
    waiting_.push_front(operation);
    return false;
}

void KBOperationQueue::operationDidFinish(const std::shared_ptr<KBOperation>& operation)
{
    {
        std::lock_guard lock(KBOperationGraph::mutex());
        auto running = std::find(running_.begin(), running_.end(), operation);
        if (running != running_.end()) {
            running_.erase(running);
        } else {
            // Finished before it was started (cancelled and started by hand).
            auto waiting = std::find(waiting_.begin(), waiting_.end(), operation);
            if (waiting != waiting_.end()) {
                waiting_.erase(waiting);
            }
        }
    }
    KBOperationGraph::changed().notify_all();
    startReadyOperations();
}
