#include "kit/crash/crashpath/CWThreadSuspension.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>

#include "kit/crash/crashpath/CWDescriptorReserve.h"
#include "kit/crash/crashpath/CWSDKLog.h"

namespace {

std::atomic<CWThreadTables*> gTables{nullptr};
// The task folder opened at set-up and the process it belongs to: a child made
// by fork inherits the descriptor, which still lists its parent's threads.
std::atomic<int32_t> gTaskDirectory{-1};
std::atomic<pid_t> gTaskDirectoryOwner{0};

// When a recorder that owns the stop is waited for at most (it may be stuck).
constexpr int64_t kOwnerWaitNanoseconds = 10LL * 1000 * 1000 * 1000;
constexpr int64_t kLeaveWaitNanoseconds = 100 * 1000 * 1000;

uint32_t* wordOf(std::atomic<uint32_t>* word)
{
    static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));
    return reinterpret_cast<uint32_t*>(word);
}

// Digits of a directory entry's name; -1 for anything else ("." and "..").
int32_t parseTid(const char* name)
{
    int64_t value = 0;
    if (*name == 0) {
        return -1;
    }
    for (; *name != 0; ++name) {
        if (*name < '0' || *name > '9' || value > INT32_MAX / 10) {
            return -1;
        }
        value = value * 10 + (*name - '0');
    }
    return static_cast<int32_t>(value);
}

// Takes the stop for this thread: answers 1 when taken, 0 when this thread
// already holds it, -1 when another holder never let go.
int acquireOwner(CWThreadTables* tables, uint32_t self)
{
    const int64_t deadline = CWMonotonicNanoseconds() + kOwnerWaitNanoseconds;
    for (;;) {
        uint32_t expected = 0;
        if (tables->owner.compare_exchange_strong(expected, self)) {
            return 1;
        }
        if (expected == self) {
            return 0;
        }
        const int64_t remaining = deadline - CWMonotonicNanoseconds();
        if (remaining <= 0) {
            CWLOG_WARN("Error: another recorder holds the threads, going on without stopping them\n");
            return -1;
        }
        CWFutexWait(&tables->owner, expected, remaining < 100000000 ? remaining : 100000000);
    }
}

// Sends the stop signal to every listed thread but this one. A thread that has
// ended meanwhile is marked gone rather than removed, since threads already
// signalled look themselves up by index. Answers how many were signalled.
uint32_t signalOthers(CWThreadTables* tables, int32_t self)
{
    CWThreadList* list = &tables->list;
    const pid_t pid = getpid();
    uint32_t sent = 0;
    for (uint32_t i = 0; i < list->count; ++i) {
        const int32_t tid = list->tids[i];
        if (tid == self) {
            list->states[i].store(CWThreadStateCurrent);
        } else if (tgkill(pid, tid, tables->stopSignal) == 0) {
            ++sent;
        } else if (errno == ESRCH) {
            uint32_t expected = CWThreadStateUnanswered;
            list->states[i].compare_exchange_strong(expected, CWThreadStateGone);
        } else {
            CWLOG_WARN("Unable to stop thread %d (%s)\n", tid, strerrordesc_np(errno));
        }
    }
    return sent;
}

void waitForAnswers(CWThreadTables* tables, uint32_t sent)
{
    const int64_t deadline = CWMonotonicNanoseconds() + CWThreadStopDeadlineNanoseconds;
    for (;;) {
        const uint32_t answered = tables->acknowledged.load();
        if (answered >= sent) {
            return;
        }
        const int64_t remaining = deadline - CWMonotonicNanoseconds();
        if (remaining <= 0) {
            CWLOG_WARN("Error: %u of %u threads did not stop in time\n", sent - answered, sent);
            return;
        }
        CWFutexWait(&tables->acknowledged, answered, remaining);
    }
}

struct TaskDirectory {
    int descriptor;
    // Opened for this read, and to be closed after it.
    bool opened;
};

// The descriptor opened at set-up, read again from its start; a fresh one in a
// child made by fork, or when set-up never opened it.
TaskDirectory openTaskDirectory()
{
    const int32_t kept = gTaskDirectory.load();
    if (kept >= 0 && gTaskDirectoryOwner.load() == getpid() && lseek(kept, 0, SEEK_SET) == 0) {
        return {kept, false};
    }
    return {CWDescriptorReserveOpen("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0), true};
}

void appendTid(CWThreadList* list, int32_t tid)
{
    list->tids[list->count] = tid;
    list->states[list->count].store(CWThreadStateUnanswered);
    list->contexts[list->count] = nullptr;
    ++list->count;
}

void readTids(CWThreadList* list, int directory)
{
    uint32_t leftOut = 0;
    alignas(8) char buffer[4096];
    for (;;) {
        const ssize_t length = getdents64(directory, buffer, sizeof(buffer));
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            const int32_t tid = parseTid(entry->d_name);
            if (tid <= 0) {
                continue;
            }
            if (list->count == CWThreadListCapacity) {
                ++leftOut;
                continue;
            }
            appendTid(list, tid);
        }
    }
    if (leftOut > 0) {
        CWLOG_WARN("Error: %u threads beyond the first %u are left out\n", leftOut, CWThreadListCapacity);
    }
}

void includeSelf(CWThreadList* list, int32_t self)
{
    if (self <= 0 || CWThreadListIndexOf(list, self) >= 0) {
        return;
    }
    if (list->count == CWThreadListCapacity) {
        --list->count;
    }
    appendTid(list, self);
}

} // namespace

int64_t CWMonotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void CWFutexWait(std::atomic<uint32_t>* word, uint32_t expected, int64_t nanoseconds)
{
    timespec timeout{};
    timeout.tv_sec = nanoseconds / 1000000000;
    timeout.tv_nsec = nanoseconds % 1000000000;
    syscall(SYS_futex, wordOf(word), FUTEX_WAIT_PRIVATE, expected, nanoseconds < 0 ? nullptr : &timeout, nullptr, 0);
}

void CWFutexWakeAll(std::atomic<uint32_t>* word)
{
    syscall(SYS_futex, wordOf(word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

void CWThreadTablesInstall(CWThreadTables* tables)
{
    gTables.store(tables);
}

CWThreadTables* CWThreadTablesGet()
{
    return gTables.load();
}

void CWThreadStopHandler(int, siginfo_t*, void* userContext)
{
    const int savedErrno = errno;
    CWThreadTables* tables = gTables.load();
    if (tables != nullptr && tables->stopping.load() != 0) {
        CWThreadList* list = &tables->list;
        const int32_t index = CWThreadListIndexOf(list, gettid());
        uint32_t expected = CWThreadStateUnanswered;
        tables->inside.fetch_add(1);
        if (index >= 0) {
            list->contexts[index] = static_cast<const ucontext_t*>(userContext);
        }
        if (index >= 0 && list->states[index].compare_exchange_strong(expected, CWThreadStateStopped)) {
            tables->acknowledged.fetch_add(1);
            CWFutexWakeAll(&tables->acknowledged);
            while (tables->released.load() == 0) {
                CWFutexWait(&tables->released, 0, -1);
            }
        }
        tables->inside.fetch_sub(1);
    }
    errno = savedErrno;
}

int32_t CWThreadListIndexOf(const CWThreadList* list, int32_t tid)
{
    for (uint32_t i = 0; i < list->count; ++i) {
        if (list->tids[i] == tid) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

bool CWThreadTaskDirectoryOpen()
{
    if (gTaskDirectory.load() >= 0 && gTaskDirectoryOwner.load() == getpid()) {
        return true;
    }
    const int directory = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        return false;
    }
    gTaskDirectoryOwner.store(getpid());
    const int32_t previous = gTaskDirectory.exchange(directory);
    if (previous >= 0) {
        close(previous);
    }
    return true;
}

bool CWThreadListRead(CWThreadList* list, int32_t self)
{
    list->count = 0;
    const TaskDirectory directory = openTaskDirectory();
    if (directory.descriptor < 0) {
        CWLOG_WARN("Error: unable to get task threads\n");
    } else {
        readTids(list, directory.descriptor);
        if (directory.opened) {
            close(directory.descriptor);
        }
    }
    includeSelf(list, self);
    return list->count > 0;
}
bool CWThreadsSuspend(CWThreadTables* tables)
{
    const int32_t self = gettid();
    const int owner = acquireOwner(tables, static_cast<uint32_t>(self));
    if (owner == 0) {
        // A crash inside a recorder of this thread: the others are stopped already.
        return false;
    }
    CWThreadListRead(&tables->list, self);
    if (owner < 0) {
        const int32_t index = CWThreadListIndexOf(&tables->list, self);
        if (index >= 0) {
            tables->list.states[index].store(CWThreadStateCurrent);
        }
        return false;
    }
    tables->released.store(0);
    tables->acknowledged.store(0);
    tables->stopping.store(1);
    waitForAnswers(tables, signalOthers(tables, self));
    return true;
}

void CWThreadsResume(CWThreadTables* tables)
{
    tables->stopping.store(0);
    tables->released.store(1);
    CWFutexWakeAll(&tables->released);
    // The list may be read again by the next stop only once every thread has left it.
    const int64_t deadline = CWMonotonicNanoseconds() + kLeaveWaitNanoseconds;
    while (tables->inside.load() != 0 && CWMonotonicNanoseconds() < deadline) {
        sched_yield();
    }
    tables->owner.store(0);
    CWFutexWakeAll(&tables->owner);
}

void CWThreadLabelSet(CWThreadTables* tables, int32_t tid, const char* label)
{
    for (CWQueueLabelSlot& slot : tables->labels) {
        int32_t expected = 0;
        if (slot.tid.load() == tid || slot.tid.compare_exchange_strong(expected, tid)) {
            slot.label.store(label);
            return;
        }
    }
}

void CWThreadLabelClear(CWThreadTables* tables, int32_t tid)
{
    for (CWQueueLabelSlot& slot : tables->labels) {
        if (slot.tid.load() == tid) {
            slot.label.store(nullptr);
            return;
        }
    }
}

const char* CWThreadLabelFor(const CWThreadTables* tables, int32_t tid)
{
    for (const CWQueueLabelSlot& slot : tables->labels) {
        if (slot.tid.load() == tid) {
            return slot.label.load();
        }
    }
    return nullptr;
}
