#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#include "CrashReportFolder.h"
#include "kit/crash/crashpath/CWMachineContext.h"
#include "kit/crash/crashpath/CWThreadSuspension.h"

namespace {

// A thread of the test: where its stack is and how far it got.
struct Worker {
    std::atomic<pid_t> tid{0};
    std::atomic<uintptr_t> stackMark{0};
    std::atomic<uint64_t> progress{0};
};

// Whether the worker goes on past `before`, given time to be scheduled again
// however busy the machine is.
bool runsOnPast(const Worker& worker, uint64_t before)
{
    for (int waited = 0; waited < 10000 && worker.progress.load() == before; ++waited) {
        usleep(1000);
    }
    return worker.progress.load() > before;
}

void started(Worker& worker)
{
    volatile int local = 0;
    worker.stackMark = reinterpret_cast<uintptr_t>(&local);
    worker.tid = gettid();
}

} // namespace

TEST(CWThreadSuspensionTest, StoppedThreadsHandOverTheirRegistersAndAllRunOnAfterwards)
{
    CrashReportFolder folder;
    CWThreadTables* tables = CWThreadTablesGet();
    ASSERT_NE(tables, nullptr);
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable condition;
    Worker sleeping, waiting, spinning, blocking;
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        started(sleeping);
        while (!stop) {
            usleep(500);
            ++sleeping.progress;
        }
    });
    threads.emplace_back([&] {
        started(waiting);
        std::unique_lock lock(mutex);
        while (!stop) {
            condition.wait(lock);
            ++waiting.progress;
        }
    });
    threads.emplace_back([&] {
        started(spinning);
        while (!stop) {
            ++spinning.progress;
        }
    });
    threads.emplace_back([&] {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        started(blocking);
        while (!stop) {
            usleep(500);
            ++blocking.progress;
        }
    });
    for (Worker* worker : {&sleeping, &waiting, &spinning, &blocking}) {
        while (worker->tid == 0) {
            usleep(100);
        }
    }

    ASSERT_TRUE(CWThreadsSuspend(tables));
    // A recorder nested on the same thread neither waits nor stops anyone again.
    EXPECT_FALSE(CWThreadsSuspend(tables));
    const uint64_t spun = spinning.progress;
    usleep(20 * 1000);
    EXPECT_EQ(spinning.progress, spun);
    const CWThreadList& list = tables->list;
    EXPECT_EQ(list.states[CWThreadListIndexOf(&list, gettid())], CWThreadStateCurrent);
    for (Worker* worker : {&sleeping, &waiting, &spinning}) {
        const int32_t index = CWThreadListIndexOf(&list, worker->tid);
        ASSERT_GE(index, 0);
        EXPECT_EQ(list.states[index], CWThreadStateStopped);
        // The registers are those of that thread: its stack pointer lies near its own locals.
        CWMachineContext context;
        CWMachineContextFromUcontext(list.contexts[index], &context);
        const uint64_t sp = context.registers[CWRegisterRSP];
        EXPECT_LT(sp, worker->stackMark.load() + 4096);
        EXPECT_GT(sp, worker->stackMark.load() - 64 * 1024);
    }
    EXPECT_EQ(list.states[CWThreadListIndexOf(&list, blocking.tid)], CWThreadStateUnanswered);
    CWThreadsResume(tables);

    for (Worker* worker : {&sleeping, &spinning, &blocking}) {
        EXPECT_TRUE(runsOnPast(*worker, worker->progress.load())) << worker->tid;
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
    }
    condition.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(waiting.progress, 1u);
    EXPECT_EQ(tables->owner, 0u);
}
