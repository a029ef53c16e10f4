#include "CrashModes.h"

#include "RecursionFault.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <assert.h>
#include <atomic>
#include <cinttypes>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fstream>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "kit/crash/CWException.h"
#include "kit/crash/CWSignalCheckForeignHandlers.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWHandler.h"
#include "kit/crash/crashpath/CWSignal.h"
#include "kit/crash/crashpath/CWThreadSuspension.h"
#include "kit/support/KBSerialQueue.h"

namespace {

std::string gFolder;
std::FILE* gFacts = nullptr;

void fact(const char* key, uint64_t value)
{
    if (gFacts == nullptr) {
        gFacts = std::fopen((gFolder + "/crasher.txt").c_str(), "w");
    }
    std::fprintf(gFacts, "%s %" PRIu64 "\n", key, value);
    std::fflush(gFacts);
}

uint64_t address(const void* pointer)
{
    return reinterpret_cast<uintptr_t>(pointer);
}

template <typename F> uint64_t functionAddress(F* function)
{
    return reinterpret_cast<uintptr_t>(reinterpret_cast<void*>(function));
}

[[gnu::noinline]] void nullWrite()
{
    *static_cast<volatile int*>(nullptr) = 1;
}

// Internal to this file: only the executable's symbol table on disk names it.
[[gnu::noinline]] void faultInStaticFunction(volatile int* target)
{
    *target = 11; // static fault line
    asm volatile("");
}

[[gnu::noinline]] void callsStaticFault()
{
    faultInStaticFunction(nullptr); // static call line
    asm volatile("");
}

// Loads a copy of the test library from the report folder and faults in it.
void faultInLoadedLibrary()
{
    void* library = dlopen((gFolder + "/plugin.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::_Exit(33);
    }
    auto* fault = reinterpret_cast<void (*)(volatile int*)>(dlsym(library, "lumettaTestPluginFault"));
    if (fault == nullptr) {
        std::_Exit(34);
    }
    fault(nullptr);
}

// A chain whose return addresses the record must list after the faulting frame.
volatile uint64_t gChain[3];

[[gnu::noinline]] void chainFault()
{
    gChain[0] = address(__builtin_return_address(0));
    fact("fault_function", functionAddress(&chainFault));
    for (const volatile uint64_t& returnAddress : gChain) {
        fact("return", returnAddress);
    }
    nullWrite();
    asm volatile("");
}

[[gnu::noinline]] void chainMiddle()
{
    gChain[1] = address(__builtin_return_address(0));
    chainFault();
    asm volatile("");
}

[[gnu::noinline]] void chainTop()
{
    gChain[2] = address(__builtin_return_address(0));
    chainMiddle();
    asm volatile("");
}

// Each frame keeps a kilobyte, so the stack runs out after a few thousand
// calls. The limit is never reached; it only tells the compiler the recursion ends.
volatile int gRecursionLimit = 1 << 30;

[[gnu::noinline]] int recurse(int depth)
{
    volatile char pad[1024];
    pad[depth % sizeof(pad)] = static_cast<char>(depth);
    return depth < gRecursionLimit ? recurse(depth + 1) + pad[0] : pad[0];
}

void noteRecursion(const RecursionFaultFacts* facts)
{
    fact("inner_return", facts->innerReturn);
    fact("outer_return", facts->outerReturn);
}

// Two named threads wait beside the others, the process may open no more than
// 64 files and every one of them is taken; then the null write.
[[noreturn]] void faultWithoutDescriptors()
{
    // The facts file is opened while descriptors are still to be had.
    fact("pid", static_cast<uint64_t>(getpid()));
    std::atomic<int> waiting{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&waiting, i] {
            pthread_setname_np(pthread_self(), i == 0 ? "waiter-one" : "waiter-two");
            ++waiting;
            for (;;) {
                pause();
            }
        });
    }
    while (waiting.load() < 2) {
        usleep(100);
    }
    const rlimit limit{64, 64};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        std::_Exit(35);
    }
    while (open("/dev/null", O_RDONLY | O_CLOEXEC) >= 0) { }
    if (errno != EMFILE) {
        std::_Exit(36);
    }
    chainTop();
    std::_Exit(37);
}

void busError()
{
    const std::string path = gFolder + "/truncated.bin";
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (descriptor < 0 || ftruncate(descriptor, 8192) != 0) {
        std::_Exit(20);
    }
    auto* bytes = static_cast<volatile char*>(mmap(nullptr, 8192, PROT_READ, MAP_SHARED, descriptor, 0));
    if (ftruncate(descriptor, 0) != 0) {
        std::_Exit(21);
    }
    (void)bytes[4096];
}

void faultingCallback(void*)
{
    nullWrite();
}

// A SIGUSR1 handler of the application's own that faults.
void faultingUsr1Handler(int)
{
    nullWrite();
}

[[gnu::noinline]] void raiseUsr1()
{
    fact("raise_function", functionAddress(&raiseUsr1));
    raise(SIGUSR1);
    asm volatile("");
}

void ownSegvHandler(int, siginfo_t*, void*)
{
    struct sigaction current { };
    sigaction(SIGSEGV, nullptr, &current);
    _exit(current.sa_sigaction == ownSegvHandler ? 42 : 43);
}

void installOwnSegvHandler()
{
    struct sigaction action { };
    action.sa_sigaction = ownSegvHandler;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSEGV, &action, nullptr);
}

void ownTerminateHandler()
{
    _exit(42);
}

void threadTids()
{
    DIR* directory = opendir("/proc/self/task");
    while (dirent* entry = readdir(directory)) {
        if (entry->d_name[0] != '.') {
            fact("tid", std::strtoull(entry->d_name, nullptr, 10));
        }
    }
    closedir(directory);
}

// A worker crashes beside twenty threads in every state a thread is found in.
[[noreturn]] void crashBesideManyThreads()
{
    std::atomic<int> ready{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable condition;
    std::vector<std::thread> threads;
    std::atomic<pid_t> strandTid{0};
    std::atomic<pid_t> blockingTid{0};
    std::atomic<pid_t> namedTid{0};
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&] {
            ++ready;
            while (!stop) {
                usleep(1000);
            }
        });
        threads.emplace_back([&] {
            std::unique_lock lock(mutex);
            ++ready;
            condition.wait(lock, [&] { return stop.load(); });
        });
        threads.emplace_back([&] {
            ++ready;
            while (!stop) {
                asm volatile("");
            }
        });
    }
    threads.emplace_back([&] {
        pthread_setname_np(pthread_self(), "named-worker");
        namedTid = gettid();
        ++ready;
        while (!stop) {
            usleep(1000);
        }
    });
    threads.emplace_back([&] {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        blockingTid = gettid();
        ++ready;
        while (!stop) {
            usleep(1000);
        }
    });
    auto strand = std::make_shared<KBSerialQueue>("crasher.strand");
    strand->async([&] {
        strandTid = gettid();
        ++ready;
        while (!stop) {
            usleep(1000);
        }
    });
    while (ready < 21) {
        usleep(1000);
    }
    std::thread crashing([&] {
        fact("crashing", static_cast<uint64_t>(gettid()));
        fact("named", static_cast<uint64_t>(namedTid.load()));
        fact("blocking", static_cast<uint64_t>(blockingTid.load()));
        fact("strand", static_cast<uint64_t>(strandTid.load()));
        threadTids();
        nullWrite();
    });
    crashing.join();
    std::_Exit(30);
}

// Another recorder already holds the crash: a fault here must add nothing and
// leave the ending to that recorder, which ends the process by its own signal
// once its record is written.
[[noreturn]] void secondCrash()
{
    CWContextMarkAndCheckIfCrashed();
    std::thread second([] { nullWrite(); });
    // The second thread's handler has begun once it has logged that it waits.
    const std::string log = gFolder + "/sdk.log";
    for (int i = 0; i < 5000; ++i) {
        std::ifstream in(log);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.find("because crash has already occurred") != std::string::npos) {
            break;
        }
        usleep(1000);
    }
    usleep(100 * 1000);
    CWSignalSafeRemoveHandlers(true);
    tgkill(getpid(), gettid(), SIGABRT);
    second.join();
    std::_Exit(31);
}

// Starts a thread of that name that waits until the process ends.
void startNamedWaiter(const char* name)
{
    std::atomic<bool> named{false};
    std::thread([&named, name] {
        pthread_setname_np(pthread_self(), name);
        named = true;
        for (;;) {
            pause();
        }
    }).detach();
    while (!named.load()) {
        usleep(100);
    }
}

// A fault while the thread tables are not there, as when their set-up failed
// or has not run yet: a waiting thread beside it, then the null write.
[[noreturn]] void faultWithoutThreadTables()
{
    startNamedWaiter("unlisted");
    CWThreadTablesInstall(nullptr);
    chainTop();
    std::_Exit(38);
}

// The set-up process has two named threads and forks; the child names a
// thread of its own and faults. Ends with 0 when the child died by SIGSEGV.
[[noreturn]] void faultInForkedChild()
{
    startNamedWaiter("parent-one");
    startNamedWaiter("parent-two");
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        startNamedWaiter("child-own");
        chainTop();
        _exit(39);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        std::_Exit(40);
    }
    std::_Exit(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV ? 0 : 41);
}

// Six threads fault at the same moment; the first to reach the handler owns
// the report and the others wait for it.
[[noreturn]] void sixFaultsAtOnce()
{
    std::atomic<int> waiting{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&] {
            ++waiting;
            while (!go.load()) {
                asm volatile("");
            }
            nullWrite();
        });
    }
    while (waiting.load() < 6) {
        usleep(100);
    }
    go = true;
    for (auto& thread : threads) {
        thread.join();
    }
    std::_Exit(32);
}

} // namespace

void crashModeBeforeSetUp(const std::string& mode)
{
    if (mode == "chain-before") {
        installOwnSegvHandler();
    } else if (mode == "terminate-before") {
        std::set_terminate(ownTerminateHandler);
    }
}

bool runCrashMode(const std::string& mode, const std::string& folder, int* status)
{
    gFolder = folder;
    if (mode == "null-write") {
        chainTop();
    } else if (mode == "abort") {
        std::abort();
    } else if (mode == "assert") {
        __assert_fail("crasher's own assertion", __FILE__, __LINE__, __func__);
    } else if (mode == "fpe") {
        volatile int dividend = 7;
        volatile int zero = 0;
        *status = dividend / zero;
    } else if (mode == "ill") {
        __builtin_trap();
    } else if (mode == "bus") {
        busError();
    } else if (mode == "int3") {
        asm volatile("int3");
    } else if (mode == "wait-for-signal") {
        fact("ready", 1);
        std::fclose(gFacts);
        gFacts = nullptr;
        // The recorder stops this thread too, which ends a pause early.
        for (;;) {
            pause();
        }
    } else if (mode == "stack-overflow") {
        fact("recurse_function", functionAddress(&recurse));
        *status = recurse(0);
    } else if (mode == "recursion-50" || mode == "recursion-20") {
        RecursionFaultFacts facts{0, 0, noteRecursion};
        *status = recurseAndFault(mode == "recursion-50" ? 50 : 20, &facts);
    } else if (mode == "fault-without-descriptors") {
        faultWithoutDescriptors();
    } else if (mode == "callback-fault") {
        CWHandlerSetCrashCallback(faultingCallback, nullptr);
        nullWrite();
    } else if (mode == "usr1-fault") {
        signal(SIGUSR1, faultingUsr1Handler);
        raiseUsr1();
    } else if (mode == "threads") {
        crashBesideManyThreads();
    } else if (mode == "no-thread-tables") {
        faultWithoutThreadTables();
    } else if (mode == "forked-child") {
        faultInForkedChild();
    } else if (mode == "second-crash") {
        secondCrash();
    } else if (mode == "six-faults") {
        sixFaultsAtOnce();
    } else if (mode == "static-fault") {
        callsStaticFault();
    } else if (mode == "plugin-fault") {
        faultInLoadedLibrary();
    } else if (mode == "chain-before") {
        nullWrite();
    } else if (mode == "chain-after") {
        installOwnSegvHandler();
        std::set_terminate(ownTerminateHandler);
        std::FILE* out = std::fopen((folder + "/warnings.txt").c_str(), "w");
        CWSignalCheckForeignHandlers(out);
        std::fprintf(out, "%s\n", CWExceptionStartupWarnings().value_or("none").c_str());
        std::fclose(out);
        *status = 0;
        return true;
    } else if (mode == "throw-c-string" || mode == "terminate-before") {
        CWExceptionThrowTestException();
    } else if (mode == "throw-runtime-error") {
        throw std::runtime_error("crasher's runtime error");
    } else if (mode == "throw-int") {
        throw 42;
    } else if (mode == "bad-alloc") {
        std::vector<char> huge(static_cast<size_t>(1) << 62);
        *status = huge[0];
    } else if (mode == "throw-in-thread") {
        std::thread thrower([] {
            fact("thrower", static_cast<uint64_t>(gettid()));
            throw std::runtime_error("escaped its thread");
        });
        thrower.join();
    } else {
        return false;
    }
    *status = 40;
    return true;
}
