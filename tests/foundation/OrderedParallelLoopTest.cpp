#include "foundation/OrderedParallelLoop.h"

#include <gtest/gtest.h>

#include <QThread>

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
            QThread::usleep(50);
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
    EXPECT_LT(made.load(), 1000);
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
