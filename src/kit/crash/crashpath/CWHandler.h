#pragma once

#include <sys/types.h>
#include <ucontext.h>

#include <cstdint>

#include "kit/crash/crashpath/CWMachineContext.h"
#include "kit/crash/crashpath/CWThreadSuspension.h"

struct CWFile;

// Appends the crash sections to a record file every fatal recorder has just
// written its first record to: every thread with its registers and unwound
// stack, runtime hints, queue and thread names, memory and CPU figures and free
// disk space. The other threads are stopped meanwhile.

struct CWProcess {
    int32_t currentThread;
    int32_t crashedThread;
    CWThreadList* threads;
    // The crashed thread's registers as the signal saw them; null for a thread
    // that records itself.
    const ucontext_t* userContext;
    bool ownsSuspension;
};

// Called at the end of a recording, on the crashing thread; must be
// async-signal-safe. Null clears it.
using CWCrashCallback = void (*)(void* argument);
void CWHandlerSetCrashCallback(CWCrashCallback callback, void* argument);

void CWHandler(CWFile* file, int32_t crashedThread, const ucontext_t* userContext);

// Fills the record and stops the other threads; false when there is no thread list.
bool CWProcessInit(CWProcess* process, int32_t crashedThread, const ucontext_t* userContext);
void CWProcessFinish(CWProcess* process);
// The registers of listed thread `index`; `pcIsReturnAddress` tells how to unwind them.
bool CWProcessGetThreadState(const CWProcess* process, uint32_t index, CWMachineContext* out, bool* pcIsReturnAddress);
// The calling thread's registers as they are in its caller: pc the return
// address of this call, and the caller's frame and stack pointers.
void CWProcessFakeCurrentThread(CWMachineContext* out);

void CWProcessRecordAllThreads(CWFile* file, const CWProcess* process);
void CWProcessRecordRuntimeInfo(CWFile* file, const CWProcess* process);
void CWProcessRecordDispatchQueueNames(CWFile* file, const CWProcess* process);
void CWProcessRecordThreadNames(CWFile* file, const CWProcess* process);
void CWProcessRecordStats(CWFile* file);
void CWProcessRecordStorage(CWFile* file, const char* path);
