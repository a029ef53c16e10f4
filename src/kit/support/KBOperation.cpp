#include "kit/support/KBOperation.h"

#include "kit/support/KBOperationGraph.h"
#include "kit/support/KBOperationQueue.h"

#include <algorithm>

KBOperation::KBOperation() = default;
KBOperation::~KBOperation() = default;

void KBOperation::addDependency(const std::shared_ptr<KBOperation>& operation)
{
    if (!operation || operation.get() == this) {
        return;
    }
    std::lock_guard lock(KBOperationGraph::mutex());
    if (std::find(dependencies_.begin(), dependencies_.end(), operation) != dependencies_.end()) {
        return;
    }
    dependencies_.push_back(operation);
    operation->dependents_.push_back(weak_from_this());
}

std::vector<std::shared_ptr<KBOperation>> KBOperation::dependencies() const
{
    std::lock_guard lock(KBOperationGraph::mutex());
    return dependencies_;
}

void KBOperation::cancel()
{
    std::shared_ptr<KBOperationQueue> queue;
    {
        std::lock_guard lock(KBOperationGraph::mutex());
        if (cancelled_ || finished_) {
            return;
        }
        cancelled_ = true;
        queue = queue_.lock();
    }
    // A cancelled operation is ready at once, whatever it waits for.
    if (queue) {
        queue->startReadyOperations();
    }
}

bool KBOperation::isCancelled() const
{
    std::lock_guard lock(KBOperationGraph::mutex());
    return cancelled_;
}

bool KBOperation::isExecuting() const
{
    std::lock_guard lock(KBOperationGraph::mutex());
    return executing_;
}

bool KBOperation::isFinished() const
{
    std::lock_guard lock(KBOperationGraph::mutex());
    return finished_;
}

bool KBOperation::isReady() const
{
    std::lock_guard lock(KBOperationGraph::mutex());
    return readyLocked();
}

bool KBOperation::readyLocked() const
{
    if (cancelled_) {
        return true;
    }
    return std::all_of(dependencies_.begin(), dependencies_.end(),
        [](const std::shared_ptr<KBOperation>& dependency) { return dependency->finished_; });
}

bool KBOperation::isAsynchronous() const
{
    return false;
}

void KBOperation::setCompletionBlock(std::function<void()> block)
{
    std::lock_guard lock(KBOperationGraph::mutex());
    completion_ = std::move(block);
}

void KBOperation::setName(std::string name)
{
    std::lock_guard lock(KBOperationGraph::mutex());
    name_ = std::move(name);
}

std::string KBOperation::name() const
{
    std::lock_guard lock(KBOperationGraph::mutex());
    return name_;
}

void KBOperation::start()
{
    {
        std::lock_guard lock(KBOperationGraph::mutex());
        if (started_ || finished_) {
            return;
        }
        started_ = true;
    }
    if (isCancelled()) {
        finish();
        return;
    }
    markExecuting();
    main();
    if (!isAsynchronous()) {
        finish();
    }
}

void KBOperation::waitUntilFinished() const
{
    std::unique_lock lock(KBOperationGraph::mutex());
    KBOperationGraph::changed().wait(lock, [this] { return finished_; });
}

void KBOperation::main()
{
}

void KBOperation::markExecuting()
{
    std::lock_guard lock(KBOperationGraph::mutex());
    executing_ = true;
}

void KBOperation::finish()
{
    std::function<void()> completion;
    std::vector<std::weak_ptr<KBOperation>> dependents;
    std::shared_ptr<KBOperationQueue> queue;
    {
        std::lock_guard lock(KBOperationGraph::mutex());
        if (finished_) {
            return;
        }
        started_ = true;
        executing_ = false;
        finished_ = true;
        completion = std::move(completion_);
        completion_ = nullptr;
        dependents = dependents_;
        queue = queue_.lock();
    }
    KBOperationGraph::changed().notify_all();
    if (completion) {
        completion();
    }
    auto self = shared_from_this();
    if (queue) {
        queue->operationDidFinish(self);
    }
    for (const auto& weakDependent : dependents) {
        auto dependent = weakDependent.lock();
        if (!dependent) {
            continue;
        }
        std::shared_ptr<KBOperationQueue> dependentQueue;
        {
            std::lock_guard lock(KBOperationGraph::mutex());
            dependentQueue = dependent->queue_.lock();
        }
        if (dependentQueue && dependentQueue != queue) {
            dependentQueue->startReadyOperations();
        }
    }
}

KBBlockOperation::KBBlockOperation(std::function<void()> block)
    : block_(std::move(block))
{
}

void KBBlockOperation::main()
{
    if (block_) {
        block_();
    }
}
