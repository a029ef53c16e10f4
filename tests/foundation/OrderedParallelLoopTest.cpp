#include "foundation/OrderedParallelLoop.h"

#include <gtest/gtest.h>

#include <QThread>

#include <chrono>
#include <set>

TEST(OrderedParallelLoop, DeliversEveryResultOnceInOrderOnTheCallingThreadWhileWorkersRunAtOnce)
{
    std::atomic<bool> cancel{false};
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::vector<int> delivered;
    std::set<Qt::HANDLE> workerThreads;
    std::mutex threadsMutex;
    const Qt::HANDLE caller = QThread::currentThreadId();
    bool deliveredOnCaller = true;

    OrderedParallelLoop<int> loop(200, 4, cancel);
    loop.run(
        [&](int index) {
            const int now = ++running;
            int seen = mostAtOnce.load();
            while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) { }
            // The first two pieces wait for each other, so that work running
            // side by side is seen however busy the machine is (bounded, so a
            // loop that runs one at a time fails instead of hanging).
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (index < 2 && mostAtOnce.load() < 2 && std::chrono::steady_clock::now() < deadline) {
                QThread::yieldCurrentThread();
            }
            // Later indexes finish first now and then, so order is not luck.
            QThread::usleep(index % 7 == 0 ? 300 : 20);
            {
                std::lock_guard<std::mutex> lock(threadsMutex);
                workerThreads.insert(QThread::currentThreadId());
            }
            --running;
            return index * 10;
        },
        [&](int index, int& result) {
            deliveredOnCaller = deliveredOnCaller && QThread::currentThreadId() == caller;
            EXPECT_EQ(result, index * 10);
            delivered.push_back(index);
        });

    ASSERT_EQ(delivered.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(delivered[size_t(i)], i);
    }
    EXPECT_TRUE(deliveredOnCaller);
    EXPECT_FALSE(workerThreads.count(caller));
    EXPECT_GT(mostAtOnce.load(), 1);
    EXPECT_LE(mostAtOnce.load(), 4);
}

TEST(OrderedParallelLoop, ACancelStopsDeliveryAndHandsWhatWasMadeButNotDeliveredToDiscard)
{
    std::atomic<bool> cancel{false};
    std::atomic<int> made{0};
    std::vector<int> delivered;
    std::vector<int> discarded;
    OrderedParallelLoop<int> loop(1000, 3, cancel);
    loop.run(
        [&](int index) {
            ++made;
            // Work past the cancel point waits for the cancel, so no busy
            // machine can let the workers finish the whole loop before the
            // calling thread delivers index 9.
            while (index > 9 && !cancel.load()) {
                QThread::usleep(100);
            }
            return index;
        },
        [&](int index, int&) {
            delivered.push_back(index);
            if (index == 9) {
                cancel.store(true);
            }
        },
        [&](int index, int& result) {
            EXPECT_EQ(result, index);
            discarded.push_back(index);
        });

    ASSERT_EQ(delivered.size(), 10u);
    EXPECT_EQ(delivered.back(), 9);
    // Only the pieces already claimed when the cancel came were made.
    EXPECT_LE(made.load(), 10 + 3);
    // Everything made is either delivered or discarded, never both or lost.
    EXPECT_EQ(int(delivered.size() + discarded.size()), made.load());
    for (const int index : discarded) {
        EXPECT_GT(index, 9);
    }
}

TEST(OrderedParallelLoop, NothingToDoAndMoreThreadsThanWork)
{
    std::atomic<bool> cancel{false};
    int calls = 0;
    OrderedParallelLoop<int>(0, 8, cancel).run([&](int) { return ++calls; }, [&](int, int&) { ++calls; });
    EXPECT_EQ(calls, 0);

    std::vector<int> delivered;
    OrderedParallelLoop<int>(2, 64, cancel)
        .run([](int index) { return index; }, [&](int index, int&) { delivered.push_back(index); });
    EXPECT_EQ(delivered, (std::vector<int>{0, 1}));
}
