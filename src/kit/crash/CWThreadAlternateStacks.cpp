#include "kit/crash/CWThreadAlternateStacks.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "kit/crash/crashpath/CWContext.h"

namespace {

// A page below the stack, so a handler that overruns it faults instead of
// writing over whatever lies below.
size_t guardSize()
{
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// The alternate stack the thread had before the kit gave it a bigger one
// (someone else's, too small for the kit's handler): put back when the
// thread ends, so that its owner finds and frees its own stack.
thread_local stack_t tReplaced{nullptr, SS_DISABLE, 0};

void releaseStack(void* memory)
{
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0) {
        return;
    }
    // A thread that ends from inside a signal handler still runs on the
    // stack: it is left mapped rather than pulled from under it.
    if ((current.ss_flags & SS_ONSTACK) != 0) {
        return;
    }
    if (current.ss_sp == static_cast<char*>(memory) + guardSize()) {
        stack_t disabled{};
        disabled.ss_flags = SS_DISABLE;
        sigaltstack((tReplaced.ss_flags & SS_DISABLE) == 0 ? &tReplaced : &disabled, nullptr);
    }
    tReplaced = stack_t{nullptr, SS_DISABLE, 0};
    munmap(memory, guardSize() + CWAlternateStackSize);
}

pthread_key_t stackKey()
{
    static const pthread_key_t key = [] {
        pthread_key_t made{};
        pthread_key_create(&made, releaseStack);
        return made;
    }();
    return key;
}

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

CreateFunction systemCreate()
{
    static const auto found = reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
    return found;
}

struct Start {
    void* (*routine)(void*);
    void* argument;
};

void* startWithAlternateStack(void* raw)
{
    const Start start = *static_cast<Start*>(raw);
    std::free(raw);
    CWThreadAlternateStacks::prepareNewThread();
    return start.routine(start.argument);
}

} // namespace

bool CWThreadAlternateStacks::currentThreadHasOne()
{
    stack_t current{};
    return sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0
        && current.ss_size >= CWAlternateStackSize;
}

void CWThreadAlternateStacks::unblockFaultSignals()
{
    sigset_t faults;
    sigemptyset(&faults);
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGSYS}) {
        sigaddset(&faults, signal);
    }
    pthread_sigmask(SIG_UNBLOCK, &faults, nullptr);
}

void CWThreadAlternateStacks::prepareNewThread()
{
    unblockFaultSignals();
    prepareCurrentThread();
}

bool CWThreadAlternateStacks::prepareCurrentThread()
{
    // A stack someone else set up first (a sanitizer's runtime does so on
    // every thread it starts) is kept only when the kit's handler fits on it:
    // an overflow on a smaller one would fault again inside the handler and
    // lose the record. The main thread's stack is replaced the same way when
    // the handlers are installed.
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0) {
        return false;
    }
    // Inside a handler the stack cannot change, and is in use.
    if ((current.ss_flags & SS_ONSTACK) != 0) {
        return true;
    }
    if ((current.ss_flags & SS_DISABLE) == 0 && current.ss_size >= CWAlternateStackSize) {
        return true;
    }
    const size_t guard = guardSize();
    // The kit's own stack, when someone set theirs over it since, is used again.
    void* memory = pthread_getspecific(stackKey());
    const bool made = memory == nullptr;
    if (made) {
        memory = mmap(nullptr, guard + CWAlternateStackSize, PROT_READ | PROT_WRITE,
            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (memory == MAP_FAILED) {
            return false;
        }
        mprotect(memory, guard, PROT_NONE);
    }
    stack_t alternate{};
    alternate.ss_sp = static_cast<char*>(memory) + guard;
    alternate.ss_size = CWAlternateStackSize;
    if (sigaltstack(&alternate, nullptr) != 0) {
        if (made) {
            munmap(memory, guard + CWAlternateStackSize);
        }
        return false;
    }
    // Only the stack found before the kit's first one is given back: one set
    // over the kit's since is its setter's to look after.
    if (made) {
        tReplaced = current;
        tReplaced.ss_flags &= SS_DISABLE;
    }
    if (pthread_setspecific(stackKey(), memory) != 0) {
        releaseStack(memory);
        return false;
    }
    return true;
}

// The process's thread creation. Every thread made after the program started
// passes here; without the system's function (never expected) nothing can be
// made, as without this wrapper.
extern "C" __attribute__((visibility("default"))) int pthread_create(
    pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*), void* argument) noexcept
{
    const CreateFunction create = systemCreate();
    if (create == nullptr) {
        return EAGAIN;
    }
    stackKey();
    auto* start = static_cast<Start*>(std::malloc(sizeof(Start)));
    if (start == nullptr) {
        return create(thread, attributes, routine, argument);
    }
    *start = Start{routine, argument};
    const int result = create(thread, attributes, startWithAlternateStack, start);
    if (result != 0) {
        std::free(start);
    }
    return result;
}
