#include "kit/crash/CWContextInitialize.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include <unistd.h>

#include "kit/crash/CWBinaryImages.h"
#include "kit/crash/CWContextConfiguration.h"
#include "kit/crash/CWCrashHandlers.h"
#include "kit/crash/CWException.h"
#include "kit/crash/CWMetadata.h"
#include "kit/crash/CWSetupGroup.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/crash/crashpath/CWAllocator.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/crash/crashpath/CWSafeRead.h"
#include "kit/crash/crashpath/CWSignal.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBQueue.h"
#include "kit/support/KBSerialQueue.h"

namespace {

constexpr double kSetupWaitSeconds = 5;

std::atomic<CWAllocator*> gAllocator{nullptr};
std::mutex gHookMutex;
std::function<void()> gSetupJobHook;

struct Queues {
    std::shared_ptr<KBSerialQueue> logging;
    std::shared_ptr<KBSerialQueue> binaryImages;
    std::shared_ptr<KBSerialQueue> exception;
};

const Queues& queues()
{
    static const Queues made{std::make_shared<KBSerialQueue>(kb::kCrashQueueLoggingLabel),
        std::make_shared<KBSerialQueue>(kb::kCrashQueueBinaryImagesLabel),
        std::make_shared<KBSerialQueue>(kb::kCrashQueueExceptionLabel)};
    return made;
}

// The alternate stack and the crash-state block in the writable part, the
// context in the part that becomes read-only. Installed at once, so that a crash
// during set-up already finds the crash-in-progress flag.
bool createBase()
{
    const uint64_t writable = CWAlternateStackSize + sizeof(CWCrashState) + CWThreadTablesReserve;
    const uint64_t readOnly = sizeof(CWContext) + CWCopiedStringsReserve;
    CWAllocator* allocator = CWAllocatorCreate(writable, readOnly);
    if (allocator == nullptr) {
        return false;
    }
    auto* context
        = static_cast<CWContext*>(CWAllocatorSafeAllocate(allocator, sizeof(CWContext), CWAllocationReadOnly));
    void* stack = CWAllocatorSafeAllocate(allocator, CWAlternateStackSize, CWAllocationWritable);
    auto* state
        = static_cast<CWCrashState*>(CWAllocatorSafeAllocate(allocator, sizeof(CWCrashState), CWAllocationWritable));
    memset(static_cast<void*>(context), 0, sizeof(CWContext));
    memset(stack, 0, CWAlternateStackSize);
    memset(static_cast<void*>(state), 0, sizeof(CWCrashState));
    context->alternateSignalStack = stack;
    state->sdkLogDescriptor.store(-1);
    state->minimumLogLevel.store(CWLogLevelDebug);
    state->crashInProgress.store(0);
    state->binaryImagesFile.descriptor = -1;
    context->initialized.store(0);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    gAllocator.store(allocator);
    CWContextInstall(context, state);
    return true;
}

// A tracer shows in /proc as a non-zero "TracerPid:".
bool debuggerAttached()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) {
            return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
        }
    }
    return false;
}

void runSetupJobHook()
{
    std::function<void()> hook;
    {
        std::lock_guard lock(gHookMutex);
        hook = gSetupJobHook;
    }
    if (hook) {
        hook();
    }
}

} // namespace

const char* CWContextCopyPath(const char* reportPath, const char* fileName)
{
    const std::string joined = std::string(reportPath) + "/" + fileName;
    return CWAllocatorCopyString(gAllocator.load(), joined.c_str());
}

bool CWContextInitialize(const CWContextConfiguration* configuration)
{
    if (configuration == nullptr) {
        return false;
    }
    queues();
    if (!createBase()) {
        return false;
    }
    CWSetupGroup group;
    const char* reportPath = configuration->reportPath;
    if (reinterpret_cast<uintptr_t>(reportPath) < 4096) {
        return false;
    }
    CWContext* context = CWContextGet();
    context->sdkLogPath = CWContextCopyPath(reportPath, "sdk.log");
    if (unlink(context->sdkLogPath) != 0 && errno != ENOENT) {
        KBLog::tagged(
            "[Crashwatch:Crash]", std::string("Unable to write initialize SDK write paths ") + strerror(errno));
    }
    context->debuggerAttached = debuggerAttached() ? 1 : 0;
    context->submittableCrashReceiver = configuration->submittableCrashReceiver;
    context->crashCallbackReceiver = configuration->crashCallbackReceiver;
    context->firstInstall = configuration->firstInstall ? 1 : 0;
    CWSafeReadInitialize();

    const auto global = KBQueue::global();
    // Jobs may outlive this call: they read only the numbers of this copy, and
    // the metadata job takes copies of the strings.
    const CWContextConfiguration config = *configuration;
    const std::string reportFolder = reportPath;
    group.async(global, [context]() {
        context->pageSize = CWHostGetPageSize();
        context->documentsPath = CWAllocatorCopyString(gAllocator.load(), KBFiles::documentsFolder().c_str());
        runSetupJobHook();
    });
    group.async(global, [config, reportFolder]() { CWUserLoggingInitialize(config, reportFolder.c_str()); });
    group.async(global, [context, reportFolder]() {
        context->binaryImagesPath = CWContextCopyPath(reportFolder.c_str(), "binary_images.cwrecord");
        CWBinaryImages::initialize();
    });
    if (context->debuggerAttached) {
        CWLOG_WARN("Debugger present - not installing handlers\n");
    } else {
        // The alternate stack belongs to the thread that installs it: this one,
        // the application's main thread. Kit workers get theirs on their first block.
        CWSignalInstallAlternateStack(&context->signal, context->alternateSignalStack);
        group.async(global, [context, reportFolder]() {
            context->signal.recordPath = CWContextCopyPath(reportFolder.c_str(), "signal.cwrecord");
            CWCrashHandlersInitialize();
            CWSignalInitialize(&context->signal);
        });
        group.async(global, [context, config, reportFolder]() {
            context->exception.recordPath = CWContextCopyPath(reportFolder.c_str(), "exception.cwrecord");
            context->exception.customExceptionAllowance
                = config.customExceptionsEnabled ? config.maxCustomExceptions : 0;
            CWExceptionInitialize(&context->exception, &CWCrashStateGet()->customExceptionCount);
        });
    }
    group.async(global, [metadata = CWMetadata::fromConfiguration(config), reportFolder]() {
        if (!CWContextRecordMetadata(metadata, (reportFolder + "/metadata.cwrecord").c_str())) {
            CWLOG_WARN("Unable to record context metadata\n");
        }
    });
    group.notify(global, []() {
        CWContextMarkInitialized();
        if (!CWAllocatorProtect(gAllocator.load())) {
            CWLOG_WARN("Error: Memory protection failed\n");
        }
    });
    if (!group.wait(*KBClock::shared(), kSetupWaitSeconds)) {
        CWLOG_WARN("Error: Delayed initialization\n");
    }
    return true;
}

void CWContextTeardown()
{
    CWContext* context = CWContextGet();
    CWAllocator* allocator = gAllocator.load();
    if (context == nullptr || allocator == nullptr || !CWContextIsInitialized()) {
        return;
    }
    // The context is read-only after set-up; writing the mark needs it writable.
    CWAllocatorUnprotect(allocator);
    context->initialized.store(0);
}

CWAllocator* CWContextAllocator()
{
    return gAllocator.load();
}

std::shared_ptr<KBSerialQueue> CWContextLoggingQueue()
{
    return queues().logging;
}

std::shared_ptr<KBSerialQueue> CWContextBinaryImagesQueue()
{
    return queues().binaryImages;
}

std::shared_ptr<KBSerialQueue> CWContextExceptionQueue()
{
    return queues().exception;
}

void CWContextSetSetupJobHook(std::function<void()> hook)
{
    std::lock_guard lock(gHookMutex);
    gSetupJobHook = std::move(hook);
}
