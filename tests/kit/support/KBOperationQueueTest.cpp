#include "kit/support/KBOperationQueue.h"
#include "kit/support/harness/ManualQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>

namespace {

// Operations that write their name into one shared journal.
class Journal {
public:
    std::function<void()> entry(const std::string& name)
    {
        return [this, name] {
            std::lock_guard lock(mutex_);
            text_ += name;
        };
    }
    std::string text()
    {
        std::lock_guard lock(mutex_);
        return text_;
    }

private:
    std::mutex mutex_;
    std::string text_;
};

std::shared_ptr<KBOperation> blockOperation(Journal& journal, const std::string& name)
{
    return std::make_shared<KBBlockOperation>(journal.entry(name));
}

// An operation that stays running after main() until the test ends it.
class HeldOperation : public KBOperation {
public:
    bool isAsynchronous() const override { return true; }
    void release() { finish(); }
};

} // namespace

TEST(KBOperationQueueTest, OrderFollowsDependenciesCancellationAndAdditionsFromInside)
{
    struct Case {
        const char* name;
        std::function<void(KBOperationQueue&, Journal&)> build;
        const char* order;
    };
    const std::vector<Case> cases = {
        {"dependency added while queued",
            [](KBOperationQueue& queue, Journal& journal) {
                auto late = blockOperation(journal, "L");
                auto early = blockOperation(journal, "E");
                queue.addOperation(late);
                late->addDependency(early);
                queue.addOperation(early);
            },
            "EL"},
        {"cancel before start skips the work and releases dependents",
            [](KBOperationQueue& queue, Journal& journal) {
                auto cancelled = blockOperation(journal, "C");
                auto dependent = blockOperation(journal, "D");
                dependent->addDependency(cancelled);
                cancelled->cancel();
                queue.addOperation(dependent);
                queue.addOperation(cancelled);
            },
            "D"},
        {"an operation added from a running one goes last",
            [](KBOperationQueue& queue, Journal& journal) {
                auto first = std::make_shared<KBBlockOperation>([&queue, &journal] {
                    journal.entry("1")();
                    queue.addOperationWithBlock(journal.entry("3"));
                });
                queue.addOperation(first);
                queue.addOperation(blockOperation(journal, "2"));
            },
            "123"},
        {"ready operations start oldest first",
            [](KBOperationQueue& queue, Journal& journal) {
                auto gate = blockOperation(journal, "g");
                auto a = blockOperation(journal, "a");
                a->addDependency(gate);
                queue.addOperation(a);
                queue.addOperation(blockOperation(journal, "b"));
                queue.addOperation(gate);
            },
            "bga"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        auto manual = std::make_shared<ManualQueue>();
        auto queue = KBOperationQueue::make("serial", manual);
        queue->setMaxConcurrentOperationCount(1);
        Journal journal;
        test.build(*queue, journal);
        manual->pump();
        EXPECT_EQ(journal.text(), test.order);
        EXPECT_EQ(queue->operationCount(), 0u);
    }
}

TEST(KBOperationQueueTest, AsynchronousOperationHoldsItsSlotAndCompletionComesRightAfterMain)
{
    auto manual = std::make_shared<ManualQueue>();
    auto queue = KBOperationQueue::make("one", manual);
    queue->setMaxConcurrentOperationCount(1);
    Journal journal;
    auto held = std::make_shared<HeldOperation>();
    held->setCompletionBlock(journal.entry("done"));
    queue->addOperation(held);
    queue->addOperation(blockOperation(journal, "next"));
    manual->pump();
    EXPECT_TRUE(held->isExecuting());
    EXPECT_EQ(journal.text(), "");
    EXPECT_EQ(queue->operationCount(), 2u);

    held->release();
    manual->pump();
    EXPECT_TRUE(held->isFinished());
    EXPECT_EQ(journal.text(), "donenext");
}

TEST(KBOperationQueueTest, CurrentQueueAndDrainOnTheGlobalPool)
{
    auto queue = KBOperationQueue::make("pool");
    queue->setMaxConcurrentOperationCount(2);
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<int> seenOwnQueue{0};
    for (int i = 0; i < 16; ++i) {
        queue->addOperationWithBlock([&] {
            const int now = ++running;
            int seen = mostAtOnce.load();
            while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) { }
            if (KBOperationQueue::currentQueue() == queue) {
                ++seenOwnQueue;
            }
            --running;
        });
    }
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_LE(mostAtOnce.load(), 2);
    EXPECT_EQ(seenOwnQueue.load(), 16);
    EXPECT_EQ(KBOperationQueue::currentQueue(), nullptr);
}
