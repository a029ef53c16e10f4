#include "kit/crash/CWCrashHandlers.h"

#include <dlfcn.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWThreadAlternateStacks.h"
#include "kit/crash/crashpath/CWAllocator.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWDescriptorReserve.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/crash/crashpath/CWThreadSuspension.h"
#include "kit/support/KBThreadPool.h"

static_assert(sizeof(CWThreadTables) <= CWThreadTablesReserve, "the thread tables outgrew their reserve");

namespace {

thread_local bool tWorkerPrepared = false;
thread_local int32_t tWorkerTid = 0;

// sigaltstack is per thread: a worker that overflows its stack needs a stack
// of its own to record on. Threads made through the process's pthread_create
// have one already.
void prepareWorker()
{
    tWorkerPrepared = true;
    tWorkerTid = gettid();
    if (!CWThreadAlternateStacks::prepareCurrentThread()) {
        CWLOG_WARN("Unable to setup stack %s\n", strerrordesc_np(errno));
    }
}

void workerWillRun(const char* label)
{
    if (!tWorkerPrepared) {
        prepareWorker();
    }
    if (CWThreadTables* tables = CWThreadTablesGet(); tables != nullptr) {
        if (label != nullptr) {
            CWThreadLabelSet(tables, tWorkerTid, label);
        } else {
            CWThreadLabelClear(tables, tWorkerTid);
        }
    }
}

void workerDidRun()
{
    if (CWThreadTables* tables = CWThreadTablesGet(); tables != nullptr) {
        CWThreadLabelClear(tables, tWorkerTid);
    }
}

// The pointer the C library sets before it aborts over a failed assertion or
// heap corruption. It is private to the library, so it may be missing.
uint64_t abortMessageAddress()
{
    void* address = dlvsym(RTLD_DEFAULT, "__abort_msg", "GLIBC_PRIVATE");
    return reinterpret_cast<uintptr_t>(address);
}

} // namespace

int CWCrashHandlersStopSignal()
{
    return SIGRTMIN + 3;
}

bool CWCrashHandlersInitialize()
{
    CWAllocator* allocator = CWContextAllocator();
    if (allocator == nullptr) {
        return false;
    }
    auto* tables = static_cast<CWThreadTables*>(
        CWAllocatorSafeAllocate(allocator, sizeof(CWThreadTables), CWAllocationWritable));
    if (tables == nullptr) {
        return false;
    }
    memset(static_cast<void*>(tables), 0, sizeof(CWThreadTables));
    tables->stopSignal = CWCrashHandlersStopSignal();
    tables->abortMessageAddress = abortMessageAddress();
    struct sigaction action { };
    action.sa_sigaction = CWThreadStopHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigfillset(&action.sa_mask);
    if (sigaction(tables->stopSignal, &action, nullptr) != 0) {
        CWLOG_WARN("Unable to install handler for %d (%s)\n", tables->stopSignal, strerrordesc_np(errno));
        return false;
    }
    // A crash in a process whose descriptor table is full must still open its
    // record and list its threads.
    if (!CWThreadTaskDirectoryOpen()) {
        CWLOG_WARN("Unable to open the task folder %s\n", strerrordesc_np(errno));
    }
    if (!CWDescriptorReserveFill()) {
        CWLOG_WARN("Unable to reserve descriptors for a crash %s\n", strerrordesc_np(errno));
    }
    CWThreadTablesInstall(tables);
    KBThreadPool::setBlockObserver({workerWillRun, workerDidRun});
    return true;
}
