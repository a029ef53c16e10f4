#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <csignal>
#include <thread>
#include <vector>

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

// What a thread ends with, seen by a thread-specific destructor that puts
// itself back once, so that it runs again after every other one has run.
void* gStackAtEnd = nullptr;
pthread_key_t gObserver{};
int gObserverRounds = 0;

void observeStackAtEnd(void* value)
{
    if (++gObserverRounds < 2) {
        pthread_setspecific(gObserver, value);
        return;
    }
    stack_t current{};
    sigaltstack(nullptr, &current);
    gStackAtEnd = (current.ss_flags & SS_DISABLE) != 0 ? nullptr : current.ss_sp;
}

void* takeSomeoneElsesStackFirst(void* smallStack)
{
    stack_t before{};
    sigaltstack(nullptr, &before);
    if ((before.ss_flags & SS_DISABLE) != 0) {
        before.ss_sp = smallStack;
        before.ss_size = 64 * 1024;
        before.ss_flags = 0;
        sigaltstack(&before, nullptr);
    }
    EXPECT_LT(alternateStackSize(), CWAlternateStackSize);
    EXPECT_TRUE(CWThreadAlternateStacks::prepareCurrentThread());
    EXPECT_EQ(alternateStackSize(), CWAlternateStackSize);
    EXPECT_TRUE(CWThreadAlternateStacks::currentThreadHasOne());
    return before.ss_sp;
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

// A stack too small for the handler, set up before the kit sees the thread (a
// sanitizer's runtime does so on every thread it starts), is set aside for
// the kit's and put back when the thread ends, for its owner to free.
TEST(CWThreadAlternateStacksTest, ASmallerStackSetUpFirstIsReplacedAndGivenBackAtTheEnd)
{
    ASSERT_EQ(pthread_key_create(&gObserver, observeStackAtEnd), 0);
    std::vector<char> smallStack(64 * 1024);
    struct Run {
        void* smallStack;
        void* replaced = nullptr;
    } run{smallStack.data()};
    const auto body = [](void* raw) -> void* {
        auto* self = static_cast<Run*>(raw);
        self->replaced = takeSomeoneElsesStackFirst(self->smallStack);
        pthread_setspecific(gObserver, self);
        return nullptr;
    };

    // Past the kit's wrapper, straight to the system's thread creation.
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    const auto systemCreate = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    ASSERT_NE(systemCreate, nullptr);
    pthread_t thread{};
    ASSERT_EQ(systemCreate(&thread, nullptr, body, &run), 0);
    pthread_join(thread, nullptr);
    EXPECT_NE(run.replaced, nullptr);
    EXPECT_EQ(gStackAtEnd, run.replaced);

    // A stack someone set over the kit's own is replaced by the kit's again,
    // not by a second one.
    std::thread([&] {
        stack_t small{};
        small.ss_sp = smallStack.data();
        small.ss_size = smallStack.size();
        stack_t kits{};
        ASSERT_EQ(sigaltstack(&small, &kits), 0);
        EXPECT_TRUE(CWThreadAlternateStacks::prepareCurrentThread());
        stack_t now{};
        sigaltstack(nullptr, &now);
        EXPECT_EQ(now.ss_sp, kits.ss_sp);
    }).join();
    pthread_key_delete(gObserver);
}
