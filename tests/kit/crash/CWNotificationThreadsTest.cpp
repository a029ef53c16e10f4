// The threads the C library makes for SIGEV_THREAD timers and message-queue
// notifications block every signal and never pass through pthread_create; the
// kit's own timer_create and mq_notify prepare them as any other thread.
#include "kit/crash/CWNotificationThreads.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/support/harness/Eventually.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <mqueue.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <string>
#include <thread>

namespace {

// What a notification's function saw of its thread.
struct Seen {
    std::atomic<int> calls{0};
    std::atomic<bool> faultsUnblocked{false};
    std::atomic<size_t> alternateStack{0};
};

void recordThread(sigval value)
{
    auto* seen = static_cast<Seen*>(value.sival_ptr);
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    bool unblocked = true;
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGSYS}) {
        unblocked = unblocked && sigismember(&mask, signal) == 0;
    }
    stack_t stack{};
    sigaltstack(nullptr, &stack);
    seen->faultsUnblocked = unblocked;
    seen->alternateStack = (stack.ss_flags & SS_DISABLE) != 0 ? 0 : stack.ss_size;
    ++seen->calls;
}

bool waitFor(const std::atomic<int>& calls, int count)
{
    return eventually([&] { return calls.load() >= count; });
}

sigevent onNewThread(Seen& seen)
{
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD;
    event.sigev_notify_function = recordThread;
    event.sigev_value.sival_ptr = &seen;
    return event;
}

} // namespace

TEST(CWNotificationThreadsTest, TimerCallbacksRunPreparedWithTheCallersValueUntilTheTimerIsDeleted)
{
    const size_t before = CWNotificationThreads::registeredCount();
    Seen seen;
    sigevent event = onNewThread(seen);
    timer_t timer{};
    ASSERT_EQ(timer_create(CLOCK_MONOTONIC, &event, &timer), 0);
    EXPECT_EQ(CWNotificationThreads::registeredCount(), before + 1);
    itimerspec every{};
    every.it_value.tv_nsec = 1000000;
    every.it_interval.tv_nsec = 1000000;
    ASSERT_EQ(timer_settime(timer, 0, &every, nullptr), 0);
    ASSERT_TRUE(waitFor(seen.calls, 3));
    EXPECT_TRUE(seen.faultsUnblocked);
    EXPECT_EQ(seen.alternateStack.load(), CWAlternateStackSize);
    ASSERT_EQ(timer_delete(timer), 0);
    EXPECT_EQ(CWNotificationThreads::registeredCount(), before);

    // A timer the system refuses takes no slot; signal timers are the
    // system's own business.
    EXPECT_EQ(timer_create(static_cast<clockid_t>(-42), &event, &timer), -1);
    EXPECT_EQ(errno, EINVAL);
    sigevent bySignal{};
    bySignal.sigev_notify = SIGEV_NONE;
    ASSERT_EQ(timer_create(CLOCK_MONOTONIC, &bySignal, &timer), 0);
    EXPECT_EQ(timer_delete(timer), 0);
    EXPECT_EQ(CWNotificationThreads::registeredCount(), before);
}

TEST(CWNotificationThreadsTest, QueueNotificationsRunPreparedOnceAndCanBeWithdrawn)
{
    const std::string name = "/lumetta-kit-test-" + std::to_string(getpid());
    mq_attr attributes{};
    attributes.mq_maxmsg = 4;
    attributes.mq_msgsize = 16;
    const mqd_t queue = mq_open(name.c_str(), O_CREAT | O_RDWR | O_NONBLOCK, 0600, &attributes);
    ASSERT_NE(queue, static_cast<mqd_t>(-1)) << errno;
    mq_unlink(name.c_str());
    const size_t before = CWNotificationThreads::registeredCount();

    Seen seen;
    const sigevent event = onNewThread(seen);
    ASSERT_EQ(mq_notify(queue, &event), 0);
    ASSERT_EQ(mq_send(queue, "x", 1, 0), 0);
    ASSERT_TRUE(waitFor(seen.calls, 1));
    EXPECT_TRUE(seen.faultsUnblocked);
    EXPECT_EQ(seen.alternateStack.load(), CWAlternateStackSize);
    // Fired once, the registration is gone and so is its slot.
    EXPECT_EQ(CWNotificationThreads::registeredCount(), before);

    char byte[16];
    mq_receive(queue, byte, sizeof byte, nullptr);
    ASSERT_EQ(mq_notify(queue, &event), 0);
    EXPECT_EQ(CWNotificationThreads::registeredCount(), before + 1);
    ASSERT_EQ(mq_notify(queue, nullptr), 0);
    EXPECT_EQ(CWNotificationThreads::registeredCount(), before);
    ASSERT_EQ(mq_send(queue, "y", 1, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(seen.calls.load(), 1);
    mq_close(queue);
}
