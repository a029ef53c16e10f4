#include <gtest/gtest.h>

#include <pthread.h>

#include <csignal>
#include <thread>

#include "kit/crash/CWThreadAlternateStacks.h"
#include "kit/crash/crashpath/CWContext.h"

namespace {

// The calling thread's alternate signal stack: its size, 0 without one.
size_t alternateStackSize()
{
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) != 0) {
        return 0;
    }
    return current.ss_size;
}

void* sizeOnRawThread(void* out)
{
    *static_cast<size_t*>(out) = alternateStackSize();
    return nullptr;
}

} // namespace

// Threads made any way, by this program or by the C++ library for it, start
// with a stack for signal handlers, without asking for one.
TEST(CWThreadAlternateStacksTest, EveryNewThreadStartsWithAnAlternateStack)
{
    size_t onStdThread = 0;
    std::thread([&] { onStdThread = alternateStackSize(); }).join();
    EXPECT_EQ(onStdThread, CWAlternateStackSize);

    size_t onRawThread = 0;
    pthread_t thread{};
    ASSERT_EQ(pthread_create(&thread, nullptr, sizeOnRawThread, &onRawThread), 0);
    pthread_join(thread, nullptr);
    EXPECT_EQ(onRawThread, CWAlternateStackSize);

    // A thread that has one keeps it; many threads come and go without running out.
    for (int i = 0; i < 200; ++i) {
        std::thread([] {
            const size_t before = alternateStackSize();
            EXPECT_TRUE(CWThreadAlternateStacks::prepareCurrentThread());
            EXPECT_EQ(alternateStackSize(), before);
        }).join();
    }
}

// A library that blocks every signal before it starts its workers: the
// workers still get the fault signals (else a fault ends the process without
// a report), and every other signal stays blocked as the library asked.
TEST(CWThreadAlternateStacksTest, ThreadsOfAThreadThatBlocksEverySignalStillReceiveFaults)
{
    sigset_t seen{};
    std::thread([&] {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        std::thread([&] { pthread_sigmask(SIG_BLOCK, nullptr, &seen); }).join();
    }).join();
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGSYS}) {
        EXPECT_EQ(sigismember(&seen, signal), 0) << signal;
    }
    for (const int signal : {SIGUSR1, SIGTERM, SIGCHLD}) {
        EXPECT_EQ(sigismember(&seen, signal), 1) << signal;
    }
}
