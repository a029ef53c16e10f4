#include "kit/crash/crashpath/CWSignal.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWHandler.h"
#include "kit/crash/crashpath/CWSDKLog.h"

namespace {

bool isDefault(const struct sigaction& action)
{
    return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL;
}

// A fault the hardware reported returns to the faulting instruction and
// happens again under the restored action. Signals sent by a process (kill,
// raise, abort), a breakpoint (execution goes on after it) and a refused system
// call do not repeat, so they are sent again.
bool needsResending(int signal, const siginfo_t* information)
{
    return information == nullptr || information->si_code <= 0 || signal == SIGTRAP || signal == SIGSYS;
}

// A crash on a second thread while the first is recording: this thread never
// returns to its fault; the first ends the process when the record is written,
// and if it never does, this thread ends it.
[[noreturn]] void waitForFirstRecorder()
{
    timespec pause{0, 10 * 1000 * 1000};
    for (int i = 0; i < CWSignalSecondCrashWaitSeconds * 100; ++i) {
        nanosleep(&pause, nullptr);
    }
    _exit(1);
}

uint64_t secondsSince1970()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint64_t>(now.tv_sec);
}

void writeSignalRecord(CWFile* file, int signal, const siginfo_t* information, int savedErrno)
{
    CWFileWriteRecordStart(file, "signal");
    CWFileWriteObjectOpen(file);
    if (information != nullptr) {
        CWFileWriteHashUnsigned(file, "number", static_cast<uint64_t>(signal));
        CWFileWriteHashSigned(file, "code", information->si_code);
        CWFileWriteHashUnsigned(file, "address", reinterpret_cast<uintptr_t>(information->si_addr));
        CWFileWriteHashString(file, "name", CWSignalNameForNumber(signal));
        CWFileWriteHashString(file, "code_name", CWSignalCodeNameForNumber(signal));
    }
    CWFileWriteHashSigned(file, "errno", savedErrno);
    CWFileWriteHashUnsigned(file, "time", secondsSince1970());
    CWFileWriteObjectClose(file);
    CWFileWriteObjectClose(file);
    CWFileWriteLineEnd(file);
}

void record(const CWContext* context, int signal, const siginfo_t* information, void* userContext, int savedErrno)
{
    CWFile file;
    if (!CWFileInit(&file, context->signal.recordPath, false)) {
        CWLOG_WARN("Unable to open signal file\n");
        return;
    }
    writeSignalRecord(&file, signal, information, savedErrno);
    CWHandler(&file, gettid(), static_cast<const ucontext_t*>(userContext));
    CWFileClose(&file);
}

} // namespace

const char* CWSignalNameForNumber(int signal)
{
    switch (signal) {
    case SIGILL:
        return "SIGILL";
    case SIGTRAP:
        return "SIGTRAP";
    case SIGABRT:
        return "SIGABRT";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGSEGV:
        return "SIGSEGV";
    case SIGSYS:
        return "SIGSYS";
    default:
        return "UNKNOWN";
    }
}

const char* CWSignalCodeNameForNumber(int signal)
{
    return signal == SIGABRT ? "ABORT" : nullptr;
}

bool CWSignalInstallAlternateStack(CWSignalStorage* storage, void* stack)
{
    stack_t alternate{};
    alternate.ss_sp = stack;
    alternate.ss_size = CWAlternateStackSize;
    alternate.ss_flags = 0;
    if (sigaltstack(&alternate, &storage->previousStack) != 0) {
        CWLOG_WARN("Unable to setup stack %s\n", strerrordesc_np(errno));
        memset(&storage->previousStack, 0, sizeof(storage->previousStack));
        return false;
    }
    return true;
}

void CWSignalInitialize(CWSignalStorage* storage)
{
    if (!CWFileRemove(storage->recordPath)) {
        CWLOG_WARN("Unable to reset the signal log file %s\n", strerrordesc_np(errno));
    }
    struct sigaction action { };
    action.sa_sigaction = CWSignalHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < CWSignalHandledCount; ++i) {
        struct sigaction previous { };
        if (sigaction(CWSignalHandledSignals[i], &action, &previous) != 0) {
            CWLOG_WARN("Unable to install handler for %d (%s)\n", CWSignalHandledSignals[i], strerrordesc_np(errno));
        }
        memset(&storage->previousActions[i], 0, sizeof(storage->previousActions[i]));
        if (!isDefault(previous)) {
            storage->previousActions[i] = previous;
        }
    }
}

bool CWSignalSafeRemoveHandlers(bool includeFirst)
{
    bool ok = true;
    struct sigaction action { };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int i = includeFirst ? 0 : 1; i < CWSignalHandledCount; ++i) {
        if (sigaction(CWSignalHandledSignals[i], &action, nullptr) != 0) {
            CWLOG_WARN("Unable to set default handler for %d (%s)\n", i, strerrordesc_np(errno));
            ok = false;
        }
    }
    return ok;
}

bool CWSignalSafeInstallPreexistingHandlers(const CWSignalStorage* storage)
{
    bool ok = CWSignalSafeRemoveHandlers(true);
    // On the alternate stack the kernel refuses to change it (EPERM); the
    // actions must be put back all the same.
    stack_t current{};
    const bool onAlternateStack = sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_ONSTACK) != 0;
    if (storage->previousStack.ss_sp != nullptr && !onAlternateStack) {
        if (sigaltstack(&storage->previousStack, nullptr) != 0) {
            CWLOG_WARN("Unable to setup stack %s\n", strerrordesc_np(errno));
            ok = false;
        }
    }
    for (int i = 0; i < CWSignalHandledCount; ++i) {
        const struct sigaction& saved = storage->previousActions[i];
        if (isDefault(saved)) {
            continue;
        }
        if (sigaction(CWSignalHandledSignals[i], &saved, nullptr) != 0) {
            CWLOG_WARN("Unable to install handler for %d (%s)\n", i, strerrordesc_np(errno));
            ok = false;
        }
    }
    return ok;
}

void CWSignalHandler(int signal, siginfo_t* information, void* userContext)
{
    const int savedErrno = errno;
    errno = 0;
    CWLOG_WARN("Signal: %d\n", signal);
    if (reinterpret_cast<uintptr_t>(information) < 4096) {
        information = nullptr;
    }
    if (reinterpret_cast<uintptr_t>(userContext) < 4096) {
        userContext = nullptr;
    }
    const CWContext* context = CWContextGet();
    CWCrashState* state = CWCrashStateGet();
    if (context != nullptr && CWContextMarkAndCheckIfCrashed()) {
        // The handlers stay in place while a record is written, so that a
        // second thread faulting meanwhile comes here instead of ending the
        // process under the default action, and waits: the first one owns
        // the report. Only a fault in the recording itself ends it now.
        if (state == nullptr || state->recordingThread.load() != gettid()) {
            CWLOG_WARN("Error: aborting signal handler because crash has already occurred");
            waitForFirstRecorder();
        }
        CWSignalSafeRemoveHandlers(true);
        context = nullptr;
    } else if (context != nullptr && state != nullptr) {
        state->recordingThread.store(gettid());
    } else {
        CWSignalSafeRemoveHandlers(true);
    }
    sigset_t none;
    sigemptyset(&none);
    if (sigprocmask(SIG_SETMASK, &none, nullptr) != 0) {
        CWLOG_WARN("Unable to unmask signals - we risk infinite recursion here\n");
    }
    if (context != nullptr) {
        record(context, signal, information, userContext, savedErrno);
        CWSignalSafeInstallPreexistingHandlers(&context->signal);
    }
    errno = savedErrno;
    if (needsResending(signal, information)) {
        tgkill(getpid(), gettid(), signal);
    }
}
