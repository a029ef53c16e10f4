#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class KBOperationQueue;

// A unit of work for a KBOperationQueue. It becomes ready when every
// dependency has finished, or at once when cancelled: a cancelled operation
// skips main() and finishes, which releases the operations that depend on it.
// An asynchronous operation keeps running after main() returns, until it
// calls finish().
class KBOperation : public std::enable_shared_from_this<KBOperation> {
public:
    KBOperation();
    virtual ~KBOperation();
    KBOperation(const KBOperation&) = delete;
    KBOperation& operator=(const KBOperation&) = delete;

    void addDependency(const std::shared_ptr<KBOperation>& operation);
    std::vector<std::shared_ptr<KBOperation>> dependencies() const;

    virtual void cancel();
    bool isCancelled() const;
    bool isExecuting() const;
    bool isFinished() const;
    bool isReady() const;
    virtual bool isAsynchronous() const;

    // Runs once, on the thread that finishes the operation, right after main().
    void setCompletionBlock(std::function<void()> block);
    void setName(std::string name);
    std::string name() const;

    // Runs the operation on the calling thread. Queues call it; so may callers
    // that run an operation by hand.
    virtual void start();
    // Blocks until the operation has finished.
    void waitUntilFinished() const;

protected:
    virtual void main();
    void markExecuting();
    // Ends the operation: not executing, finished, completion block, then the
    // queues of its dependents are told. A second call does nothing.
    void finish();

private:
    friend class KBOperationQueue;
    bool readyLocked() const;

    std::vector<std::shared_ptr<KBOperation>> dependencies_;
    std::vector<std::weak_ptr<KBOperation>> dependents_;
    std::weak_ptr<KBOperationQueue> queue_;
    std::function<void()> completion_;
    std::string name_;
    bool cancelled_ = false;
    bool executing_ = false;
    bool finished_ = false;
    bool started_ = false;
};

// An operation that runs one block.
class KBBlockOperation : public KBOperation {
public:
    explicit KBBlockOperation(std::function<void()> block);

protected:
    void main() override;

private:
    std::function<void()> block_;
};
