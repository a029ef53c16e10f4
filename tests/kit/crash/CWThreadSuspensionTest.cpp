#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
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
#include "kit/support/harness/Eventually.h"

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
    return eventually([&] { return worker.progress.load() > before; });
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

// The task folder opened at set-up still lists the threads once the process
// has no descriptor left, and the recording thread is listed whatever the
// folder shows.
TEST(CWThreadSuspensionTest, TheThreadListIsReadWithTheDescriptorTableFull)
{
    CrashReportFolder folder;
    std::atomic<pid_t> worker{0};
    std::atomic<bool> stop{false};
    std::thread thread([&] {
        worker = gettid();
        while (!stop) {
            usleep(500);
        }
    });
    while (worker == 0) {
        usleep(100);
    }
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit lowered{256, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> taken;
    for (int descriptor; (descriptor = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
        taken.push_back(descriptor);
    }
    CWThreadList list{};
    const bool read = CWThreadListRead(&list, gettid());
    // No thread has this id: it stands for a recorder the folder does not show.
    CWThreadList withStranger{};
    CWThreadListRead(&withStranger, 0x7ffffff0);
    for (const int descriptor : taken) {
        close(descriptor);
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    stop = true;
    thread.join();

    ASSERT_FALSE(taken.empty());
    EXPECT_TRUE(read);
    EXPECT_GE(CWThreadListIndexOf(&list, gettid()), 0);
    EXPECT_GE(CWThreadListIndexOf(&list, worker), 0);
    ASSERT_GE(withStranger.count, 3u);
    EXPECT_EQ(withStranger.tids[withStranger.count - 1], 0x7ffffff0);
    EXPECT_GE(CWThreadListIndexOf(&withStranger, worker), 0);
}
