#pragma once

#include <sys/types.h>
#include <ucontext.h>

#include <atomic>
#include <csignal>
#include <cstdint>

// Stops every other thread of the process while a crash is recorded, so that
// their stacks and the image table hold still. Linux has no call that suspends
// another thread, so each one is sent a real-time signal whose handler hands
// over the registers the kernel saved for it and waits on a futex until the
// recorder lets it go. The tables live in the fixed allocator's writable part.

inline constexpr uint32_t CWThreadListCapacity = 512;
inline constexpr uint32_t CWQueueLabelSlotCount = 128;

enum CWThreadState : uint32_t {
    // Asked to stop but never answered (it blocks the signal, or answered too late).
    CWThreadStateUnanswered = 0,
    // Parked in the stop handler; its saved registers are in `contexts`.
    CWThreadStateStopped = 1,
    // The recording thread itself.
    CWThreadStateCurrent = 2,
    // Ended before it could be asked: not part of the record.
    CWThreadStateGone = 3,
};

struct CWThreadList {
    uint32_t count;
    int32_t tids[CWThreadListCapacity];
    std::atomic<uint32_t> states[CWThreadListCapacity];
    // Points into the stopped thread's own stack, valid while it stays parked.
    const ucontext_t* contexts[CWThreadListCapacity];
};

// Which kit serial queue a thread is running, set around each block.
struct CWQueueLabelSlot {
    std::atomic<int32_t> tid;
    std::atomic<const char*> label;
};

struct CWThreadTables {
    CWThreadList list;
    // The tid of the recorder that has stopped the others; 0 when none.
    std::atomic<uint32_t> owner;
    std::atomic<uint32_t> stopping;
    std::atomic<uint32_t> acknowledged;
    std::atomic<uint32_t> released;
    std::atomic<uint32_t> inside;
    int32_t stopSignal;
    // The address of the C library's last abort message pointer, 0 when unknown.
    uint64_t abortMessageAddress;
    CWQueueLabelSlot labels[CWQueueLabelSlotCount];
};

// How long a recorder waits for all stopped threads to answer.
inline constexpr int64_t CWThreadStopDeadlineNanoseconds = 300 * 1000 * 1000;

void CWThreadTablesInstall(CWThreadTables* tables);
CWThreadTables* CWThreadTablesGet();

// The handler of the stop signal (installed with SA_SIGINFO | SA_RESTART and a full mask).
void CWThreadStopHandler(int signal, siginfo_t* information, void* userContext);

// Set-up: opens /proc/self/task once, so that a crash can list the threads
// when the process has no descriptor left to open it with.
bool CWThreadTaskDirectoryOpen();

// Fills `list` with the tids of /proc/self/task, at most the capacity; the rest
// are logged and left out. `self` is always listed, in the last place when the
// list is full, so that the recording thread's own registers are never lost.
// Every state starts unanswered.
bool CWThreadListRead(CWThreadList* list, int32_t self);

// Stops every other thread. Answers true when this call now owns the stop and
// must resume; false when a recorder on this same thread already owns it (a
// nested crash) or another recorder never let go, in which case the list is
// left as it was or read without stopping anyone.
bool CWThreadsSuspend(CWThreadTables* tables);
void CWThreadsResume(CWThreadTables* tables);

// The index of `tid` in the list, or -1.
int32_t CWThreadListIndexOf(const CWThreadList* list, int32_t tid);

void CWThreadLabelSet(CWThreadTables* tables, int32_t tid, const char* label);
void CWThreadLabelClear(CWThreadTables* tables, int32_t tid);
const char* CWThreadLabelFor(const CWThreadTables* tables, int32_t tid);

// Sleeps on a 32-bit word while it holds `expected`, at most `nanoseconds` (forever when negative).
void CWFutexWait(std::atomic<uint32_t>* word, uint32_t expected, int64_t nanoseconds);
void CWFutexWakeAll(std::atomic<uint32_t>* word);
// Nanoseconds of the monotonic clock.
int64_t CWMonotonicNanoseconds();
