#include "kit/crash/crashpath/CWHandler.h"

#include <unistd.h>

#include <atomic>
#include <cstring>

#include "kit/crash/CWCrashCallbackReceiver.h"
#include "kit/crash/crashpath/CWBinaryImage.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/crash/crashpath/CWUnwind.h"

namespace {

std::atomic<CWCrashCallback> gCrashCallback{nullptr};
std::atomic<void*> gCrashCallbackArgument{nullptr};

// An empty list for a process whose thread tables were never made.
CWThreadList gNoThreads{};

// How often one pc may repeat before further copies are left out.
constexpr uint32_t kRepeatLimit = 10;

void writeRegisters(CWFile* file, const CWMachineContext* context)
{
    const uint64_t* r = context->registers;
    const struct {
        const char* name;
        uint64_t value;
    } registers[] = {{"rax", r[CWRegisterRAX]}, {"rbx", r[CWRegisterRBX]}, {"rcx", r[CWRegisterRCX]},
        {"rdx", r[CWRegisterRDX]}, {"rdi", r[CWRegisterRDI]}, {"rsi", r[CWRegisterRSI]}, {"rbp", r[CWRegisterRBP]},
        {"rsp", r[CWRegisterRSP]}, {"r8", r[CWRegisterR8]}, {"r9", r[CWRegisterR8 + 1]}, {"r10", r[CWRegisterR8 + 2]},
        {"r11", r[CWRegisterR8 + 3]}, {"r12", r[CWRegisterR8 + 4]}, {"r13", r[CWRegisterR8 + 5]},
        {"r14", r[CWRegisterR8 + 6]}, {"r15", r[CWRegisterR15]}, {"rip", r[CWRegisterRIP]}, {"rflags", context->flags},
        {"cs", context->cs}, {"fs", context->fs}, {"gs", context->gs}};
    CWFileWriteKey(file, "registers");
    CWFileWriteObjectOpen(file);
    for (const auto& entry : registers) {
        CWFileWriteHashUnsigned(file, entry.name, entry.value);
    }
    CWFileWriteObjectClose(file);
}

// A runaway recursion writes its pc ten times; later copies are counted, not
// written, and the unwinder's per-frame messages are quietened meanwhile.
void writeStacktrace(CWFile* file, CWUnwindCursor* cursor)
{
    CWCrashState* state = CWCrashStateGet();
    const int32_t rememberedLevel = state != nullptr ? state->minimumLogLevel.load() : CWLogLevelDebug;
    auto setLevel = [state](int32_t level) {
        if (state != nullptr) {
            state->minimumLogLevel.store(level);
        }
    };
    bool repeating = false;
    uint64_t repeatedPc = 0;
    uint32_t repeatCount = 0;
    CWFileWriteKey(file, "stacktrace");
    CWFileWriteArrayOpen(file);
    while (CWUnwindNextFrameUsingAllStrategies(cursor)) {
        const uint64_t pc = CWUnwindCurrentPC(cursor);
        const uint32_t repeats = CWUnwindRepeatCount(cursor);
        if (repeating && pc == repeatedPc) {
            repeatCount = repeats;
            continue;
        }
        if (!repeating && repeats >= kRepeatLimit) {
            CWLOG_WARN("Possible infinite recursion - suppressing logging\n");
            setLevel(CWLogLevelWarn);
            repeating = true;
            repeatedPc = pc;
            repeatCount = repeats;
            continue;
        }
        if (repeating) {
            setLevel(rememberedLevel);
        }
        CWFileWriteArrayUnsigned(file, pc);
    }
    CWFileWriteArrayClose(file);
    if (repeating) {
        CWFileWriteHashUnsigned(file, "repeated_pc", repeatedPc);
        CWFileWriteHashUnsigned(file, "repeat_count", repeatCount);
    }
    setLevel(rememberedLevel);
}

// A thread whose registers cannot be had keeps its place in the list, so that
// the name sections still line up with the threads.
void writePlaceholder(CWFile* file)
{
    CWFileWriteKey(file, "registers");
    CWFileWriteObjectOpen(file);
    CWFileWriteObjectClose(file);
    CWFileWriteKey(file, "stacktrace");
    CWFileWriteArrayOpen(file);
    CWFileWriteArrayClose(file);
}

void deliverCallback()
{
    const CWContext* context = CWContextGet();
    const CWCrashCallback callback = gCrashCallback.load();
    if (context != nullptr && context->crashCallbackReceiver != nullptr) {
        CWLOG_WARN("Performing syncrhonous crash callback - hold onto your butts\n");
        context->crashCallbackReceiver->deliverCrashDelegateCallback();
    }
    if (callback != nullptr) {
        callback(gCrashCallbackArgument.load());
    }
}

} // namespace

void CWHandlerSetCrashCallback(CWCrashCallback callback, void* argument)
{
    gCrashCallbackArgument.store(argument);
    gCrashCallback.store(callback);
}

bool CWProcessInit(CWProcess* process, int32_t crashedThread, const ucontext_t* userContext)
{
    memset(process, 0, sizeof(*process));
    process->currentThread = gettid();
    process->crashedThread = crashedThread;
    process->userContext = userContext;
    CWThreadTables* tables = CWThreadTablesGet();
    if (tables == nullptr) {
        // The crashed thread's own registers came with its signal: it is
        // recorded even without the thread tables.
        gNoThreads.count = crashedThread > 0 ? 1 : 0;
        gNoThreads.tids[0] = crashedThread;
        gNoThreads.states[0].store(CWThreadStateCurrent);
        gNoThreads.contexts[0] = nullptr;
        process->threads = &gNoThreads;
        CWLOG_WARN("Error: unable to get task threads\n");
        return false;
    }
    process->ownsSuspension = CWThreadsSuspend(tables);
    process->threads = &tables->list;
    if (process->threads->count == 0) {
        CWLOG_WARN("Error: unable to get task threads\n");
        return false;
    }
    return true;
}

void CWProcessFinish(CWProcess* process)
{
    CWThreadTables* tables = CWThreadTablesGet();
    if (tables != nullptr && process->ownsSuspension) {
        CWThreadsResume(tables);
        process->ownsSuspension = false;
    }
}

__attribute__((noinline)) void CWProcessFakeCurrentThread(CWMachineContext* out)
{
    memset(out, 0, sizeof(*out));
    const auto frame = reinterpret_cast<uint64_t>(__builtin_frame_address(0));
    out->registers[CWRegisterRIP] = reinterpret_cast<uint64_t>(__builtin_return_address(0));
    // The caller's own frame pointer is the one saved in this call's frame record.
    out->registers[CWRegisterRBP] = *reinterpret_cast<const uint64_t*>(frame);
    out->registers[CWRegisterRSP] = frame + CWFrameRecordSize;
}

bool CWProcessGetThreadState(const CWProcess* process, uint32_t index, CWMachineContext* out, bool* pcIsReturnAddress)
{
    if (reinterpret_cast<uintptr_t>(out) < 4096 || index >= process->threads->count) {
        CWLOG_ERROR("invalid context supplied");
        return false;
    }
    const int32_t tid = process->threads->tids[index];
    const uint32_t state = process->threads->states[index].load();
    if (tid == process->crashedThread && process->userContext != nullptr) {
        CWMachineContextFromUcontext(process->userContext, out);
        *pcIsReturnAddress = false;
        return true;
    }
    if (state == CWThreadStateStopped && process->threads->contexts[index] != nullptr) {
        CWMachineContextFromUcontext(process->threads->contexts[index], out);
        *pcIsReturnAddress = false;
        return true;
    }
    if (tid == process->currentThread) {
        CWLOG_WARN("Faking current thread\n");
        CWProcessFakeCurrentThread(out);
        *pcIsReturnAddress = true;
        return true;
    }
    CWLOG_ERROR("failed to get thread state\n");
    return false;
}

void CWProcessRecordAllThreads(CWFile* file, const CWProcess* process)
{
    CWFileWriteRecordStart(file, "threads");
    CWFileWriteArrayOpen(file);
    const CWThreadList* list = process->threads;
    for (uint32_t i = 0; i < list->count; ++i) {
        if (list->states[i].load() == CWThreadStateGone) {
            continue;
        }
        CWLOG_INFO("recording thread %d data\n", static_cast<int32_t>(i));
        CWFileWriteObjectOpen(file);
        CWMachineContext context;
        bool pcIsReturnAddress = false;
        CWUnwindCursor cursor;
        if (!CWProcessGetThreadState(process, i, &context, &pcIsReturnAddress)) {
            CWLOG_ERROR("unable to get thread state");
            writePlaceholder(file);
        } else if (!CWUnwindInit(&cursor, &context, pcIsReturnAddress)) {
            CWLOG_WARN("unable to init unwind context\n");
            writePlaceholder(file);
        } else {
            writeRegisters(file, &context);
            writeStacktrace(file, &cursor);
        }
        CWFileWriteHashBool(file, "crashed", list->tids[i] == process->crashedThread);
        CWFileWriteObjectClose(file);
    }
    CWFileWriteArrayClose(file);
    CWFileWriteObjectClose(file);
    CWFileWriteLineEnd(file);
    CWLOG_INFO("completed recording all thread data\n");
}

void CWHandler(CWFile* file, int32_t crashedThread, const ucontext_t* userContext)
{
    CWProcess process;
    CWProcessInit(&process, crashedThread, userContext);
    // Images loaded or unloaded since set-up, before any stack is walked.
    CWBinaryImageReconcile();
    CWProcessRecordAllThreads(file, &process);
    CWProcessRecordRuntimeInfo(file, &process);
    CWProcessRecordDispatchQueueNames(file, &process);
    CWProcessRecordThreadNames(file, &process);
    CWProcessRecordStats(file);
    const CWContext* context = CWContextGet();
    CWProcessRecordStorage(file, context != nullptr ? context->documentsPath : nullptr);
    CWProcessFinish(&process);
    deliverCallback();
}
