// A small program that starts the crash kit as the application does (app-info
// with an API key, the kits registered, Kitbase::with) and then either faults
// or waits for the reports of earlier launches to be sent. The endpoints and
// the caches folder come from the environment the test sets.
#include "kit/core/KBKitRegistry.h"
#include "kit/core/KBMainBundle.h"
#include "kit/core/Kitbase.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWFileManager.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/crash/Crashwatch.h"
#include "kit/support/KBMainQueue.h"
#include "kit/support/KBSerialQueue.h"
#include "kit/tally/Tally.h"

#include <QThreadPool>

#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace launcher_faults {

// Exported (the executable exports its symbols) so symbolication can name it.
__attribute__((noinline)) void faultInExportedFunction(volatile int* target)
{
    *target = 0x5eed;
}

// Each frame keeps a kilobyte, so the thread's stack runs out after a few
// thousand calls; the limit is never reached.
volatile int gRecursionLimit = 1 << 30;

__attribute__((noinline)) int recurseWithoutEnd(int depth)
{
    volatile char pad[1024];
    pad[depth % sizeof(pad)] = static_cast<char>(depth);
    return depth < gRecursionLimit ? recurseWithoutEnd(depth + 1) + pad[0] : pad[0];
}

void* recurseOnRawThread(void*)
{
    recurseWithoutEnd(0);
    return nullptr;
}

// A stack overflow on a thread the program makes in one of three ways; none
// of them sets up an alternate signal stack itself.
bool overflowOnThread(const std::string& mode)
{
    if (mode == "overflow-std-thread") {
        std::thread([] { recurseWithoutEnd(0); }).join();
    } else if (mode == "overflow-raw-pthread") {
        pthread_t thread{};
        pthread_create(&thread, nullptr, recurseOnRawThread, nullptr);
        pthread_join(thread, nullptr);
    } else if (mode == "overflow-pool-thread") {
        QThreadPool::globalInstance()->start([] { recurseWithoutEnd(0); });
        QThreadPool::globalInstance()->waitForDone();
    } else {
        return false;
    }
    return true;
}

// A library's worker: started by a thread that blocked every signal first,
// it inherits that mask and faults.
__attribute__((noinline)) void* faultWithEverySignalBlocked(void*)
{
    faultInExportedFunction(reinterpret_cast<volatile int*>(8));
    return nullptr;
}

// The function of a SIGEV_THREAD timer, run on a thread the C library makes.
__attribute__((noinline)) void faultInTimerNotification(sigval)
{
    *reinterpret_cast<volatile int*>(8) = 0x5eed;
}

bool faultOnThreadThatBlocksSignals(const std::string& mode)
{
    if (mode == "fault-signals-blocked") {
        std::thread([] {
            sigset_t all;
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, nullptr);
            pthread_t worker{};
            pthread_create(&worker, nullptr, faultWithEverySignalBlocked, nullptr);
            pthread_join(worker, nullptr);
        }).join();
    } else if (mode == "fault-timer-thread") {
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD;
        event.sigev_notify_function = faultInTimerNotification;
        timer_t timer{};
        timer_create(CLOCK_MONOTONIC, &event, &timer);
        itimerspec soon{};
        soon.it_value.tv_nsec = 1000000;
        timer_settime(timer, 0, &soon, nullptr);
        // The fault ends the process; the test gives up on a launch that hangs.
        for (;;) {
            pause();
        }
    } else {
        return false;
    }
    return true;
}

} // namespace launcher_faults

namespace {

// The main thread's loop, as the application's event loop: blocks queued for
// the kit's main queue run when the main thread pumps.
std::mutex mainMutex;
std::deque<std::function<void()>> mainBlocks;

void pumpMain()
{
    for (;;) {
        std::function<void()> block;
        {
            std::lock_guard lock(mainMutex);
            if (mainBlocks.empty()) {
                return;
            }
            block = std::move(mainBlocks.front());
            mainBlocks.pop_front();
        }
        block();
    }
}

void startKit()
{
    KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.lumetta.tests.launcher"},
        {"CFBundleShortVersionString", "1.0"}, {"CFBundleVersion", "7"}, {"CFBundleName", "Launcher"},
        {"Kitbase", {{"APIKey", "0123456789abcdef0123456789abcdef01234567"}, {"Kits", nlohmann::json::array()}}}});
    KBKitRegistry::shared()->registerKit(Crashwatch::kitDescriptor());
    KBKitRegistry::shared()->registerKit(Tally::kitDescriptor());
    Kitbase::with({Crashwatch::kitDescriptor(), Tally::kitDescriptor()});
}

void waitForFirstMainTurn()
{
    pumpMain();
}

// Returns once every earlier report has left the folders, however long that
// takes on a busy machine: the test that started us gives up on a launch that
// never ends, and we go with it. The folders are read in the order a report
// moves through them (active, processing, prepared), so a report that moves on
// between two reads is seen in the later one.
void waitForUploads()
{
    const CWFileManager files;
    for (;;) {
        const bool onlyOurs = files.activePathContents().size() == 1;
        const bool noneProcessing = files.processingPathContents().empty();
        const bool nonePrepared = files.preparedPathContents().empty();
        if (onlyOurs && noneProcessing && nonePrepared) {
            return;
        }
        pumpMain();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Returns once the logging queue has written everything queued before, and
// what those writes queued in turn.
void drainLoggingQueue()
{
    for (int round = 0; round < 2; ++round) {
        CWContextLoggingQueue()->sync([] {});
    }
}

// Ends the launch without running the process's exit handlers. The kit's
// threads go on with its start-up work (the analytics' first block, uploads)
// until the process is gone, and exit handlers would destroy what they use
// (the kit's shared clock, OpenSSL's tables) under them.
[[noreturn]] void endLaunch(int code)
{
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(code);
}

} // namespace

int main(int argc, char** argv)
{
    // Never outlive the test, and leave no core files from the crashes it asks for.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "early-crash") {
        // The main loop never turns before the fault.
        KBMainQueue::setExecutor([](std::function<void()>) {});
    } else {
        KBMainQueue::setExecutor([](std::function<void()> block) {
            std::lock_guard lock(mainMutex);
            mainBlocks.push_back(std::move(block));
        });
    }
    startKit();
    if (mode == "launch") {
        waitForUploads();
        endLaunch(0);
    }
    if (mode == "launch-urgent") {
        // An urgent report is sent before the kit's start returns.
        const CWFileManager files;
        endLaunch(files.preparedPathContents().empty() && files.processingPathContents().empty() ? 0 : 3);
    }
    Crashwatch::sharedInstance().setObjectValue("teal", "favourite");
    CWLog("%s", "about to fault");
    if (mode == "crash") {
        waitForFirstMainTurn();
        drainLoggingQueue();
    }
    if (mode == "crash" || mode == "early-crash") {
        launcher_faults::faultInExportedFunction(nullptr);
    }
    if (mode.rfind("overflow-", 0) == 0) {
        waitForFirstMainTurn();
        drainLoggingQueue();
        launcher_faults::overflowOnThread(mode);
    }
    if (mode.rfind("fault-", 0) == 0) {
        waitForFirstMainTurn();
        drainLoggingQueue();
        launcher_faults::faultOnThreadThatBlocksSignals(mode);
    }
    Crashwatch& kit = Crashwatch::sharedInstance();
    if (mode == "kit-calls") {
        kit.setDebugMode(false);
        kit.setUserIdentifier("user-17");
        kit.recordCustomExceptionName("CustomProblem", "it went wrong", {});
        kit.userContentControllerDidReceiveScriptMessage(nlohmann::json::array({1, 2}));
        waitForFirstMainTurn();
        drainLoggingQueue();
        kit.crash();
    }
    if (mode == "kit-throw") {
        kit.throwException();
    }
    endLaunch(2);
}
