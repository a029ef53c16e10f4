#pragma once

#include "kit/support/KBOperation.h"
#include "kit/support/KBQueue.h"

#include <deque>
#include <limits>

// Runs operations on a dispatch queue (the global queue unless told
// otherwise) with a limit on how many run at once. Among ready operations
// the oldest starts first; an asynchronous operation holds its slot until it
// finishes; an operation added from a running one goes to the back.
class KBOperationQueue : public std::enable_shared_from_this<KBOperationQueue> {
public:
    static constexpr int kDefaultMaxConcurrentOperationCount = -1;

    static std::shared_ptr<KBOperationQueue> make(
        std::string name = {}, std::shared_ptr<KBQueue> target = KBQueue::global());
    // The operation queue of the kit's main queue: one operation at a time.
    static std::shared_ptr<KBOperationQueue> mainQueue();
    // The queue running the calling operation, or null outside one.
    static std::shared_ptr<KBOperationQueue> currentQueue();

    KBOperationQueue(std::string name, std::shared_ptr<KBQueue> target);

    void setMaxConcurrentOperationCount(int count);
    int maxConcurrentOperationCount() const;
    std::string name() const;

    void addOperation(const std::shared_ptr<KBOperation>& operation);
    std::shared_ptr<KBOperation> addOperationWithBlock(std::function<void()> block);
    std::vector<std::shared_ptr<KBOperation>> operations() const;
    size_t operationCount() const;
    void cancelAllOperations();
    // Blocks until every operation added so far, and every one they added, has
    // finished. Never call it from an operation of this queue.
    void waitUntilAllOperationsAreFinished() const;

private:
    friend class KBOperation;
    void startReadyOperations();
    bool stillReady(const std::shared_ptr<KBOperation>& operation);
    void operationDidFinish(const std::shared_ptr<KBOperation>& operation);

    std::string name_;
    std::shared_ptr<KBQueue> target_;
    int maxConcurrent_ = kDefaultMaxConcurrentOperationCount;
    std::deque<std::shared_ptr<KBOperation>> waiting_;
    std::vector<std::shared_ptr<KBOperation>> running_;
};
