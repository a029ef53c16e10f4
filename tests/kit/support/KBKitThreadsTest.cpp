#include "kit/support/KBKitThreads.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBMainQueue.h"
#include "kit/support/KBRealClock.h"
#include "kit/support/KBSerialQueue.h"
#include "kit/support/harness/ChildRequire.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

// The kit's threads are process-wide and end once: each case runs in a
// child process of its own (gtest's thread-safe death-test style re-runs the
// test binary) and reports through its exit code and standard error.
namespace {

using namespace std::chrono_literals;

void queuedWorkRunsTimersStopAndTheThreadsEnd()
{
    auto clock = std::make_shared<KBRealClock>();
    KBClock::setShared(clock);
    KBMainQueue::setExecutor({});
    KBSerialQueue queue("quit test");
    std::atomic<int> ran{0};
    std::atomic<bool> timerFired{false};
    std::atomic<bool> mainQueueRan{false};
    // A timer due after the quit must never fire into what exits.
    clock->after(0.3, KBQueue::global(), [&] { timerFired = true; });
    for (int block = 0; block < 50; ++block) {
        queue.async([&] {
            std::this_thread::sleep_for(1ms);
            ++ran;
        });
    }
    // Work that queues more work: the termination event is written this way.
    queue.async([&] { KBQueue::global()->async([&] { ++ran; }); });
    KBMainQueue::shared()->async([&] { mainQueueRan = true; });

    requireInChild(KBKitThreads::end(2000ms), "every kit thread ended");
    requireInChild(ran.load() == 51, "the work queued before the quit ran, chained work included");
    requireInChild(mainQueueRan.load(), "the main queue's block ran");

    std::atomic<bool> ranAfterQuit{false};
    queue.async([&] { ranAfterQuit = true; });
    std::this_thread::sleep_for(400ms);
    requireInChild(!timerFired.load(), "no timer fired after the quit");
    requireInChild(!ranAfterQuit.load(), "no work posted after the quit ran");
    // Nothing is left to run a synchronous block: the caller runs it.
    bool ranInline = false;
    queue.sync([&] { ranInline = true; });
    requireInChild(ranInline, "a synchronous block after the quit ran on its caller");
    std::_Exit(0);
}

void aBlockThatDoesNotEndIsReportedNotWaitedFor()
{
    std::atomic<bool> release{false};
    std::atomic<bool> started{false};
    KBQueue::global()->async([&] {
        started = true;
        while (!release.load()) {
            std::this_thread::sleep_for(1ms);
        }
    });
    while (!started.load()) {
        std::this_thread::sleep_for(1ms);
    }
    const auto before = std::chrono::steady_clock::now();
    const bool ended = KBKitThreads::end(100ms);
    const auto waited = std::chrono::steady_clock::now() - before;
    requireInChild(!ended, "a thread still running is reported");
    requireInChild(waited < 5s, "the quit waits a bounded time");
    release = true;
    requireInChild(KBKitThreads::end(2000ms), "a later call sees the thread end");
    std::_Exit(0);
}

} // namespace

TEST(KBKitThreadsDeathTest, AtQuitQueuedWorkRunsTimersStopAndTheThreadsEnd)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(queuedWorkRunsTimersStopAndTheThreadsEnd(), ::testing::ExitedWithCode(0), "");
}

TEST(KBKitThreadsDeathTest, ABlockThatDoesNotEndIsReportedNotWaitedFor)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(aBlockThatDoesNotEndIsReportedNotWaitedFor(), ::testing::ExitedWithCode(0), "");
}
