#pragma once

#include <atomic>
#include <csignal>
#include <cstdint>

#include "kit/crash/crashpath/CWBinaryImage.h"
#include "kit/crash/crashpath/CWFile.h"

class CWCrashCallbackReceiver;
class CWSubmittableCrashReceiver;
struct CWAllocator;

// Everything the crash path needs, prepared once at launch in the fixed
// allocator's mapping. The context lives in the part that becomes read-only once
// set-up has finished; the crash-state block stays writable.

// One key-value storage: an incremental file compacted after a number of changes.
struct CWKeyValueStorage {
    const char* incrementalPath;
    const char* compactedPath;
    uint32_t compactionThreshold;
    uint32_t maxKeys;
};

// A pair of files that bounds its size by rotation: by bytes or by entries.
struct CWABStorage {
    const char* pathA;
    const char* pathB;
    uint32_t maxSize;
    uint32_t maxEntries;
    uint8_t limitBySize;
    uint32_t* entryCounter;
};

inline constexpr int CWSignalHandledCount = 7;

struct CWSignalStorage {
    const char* recordPath;
    struct sigaction previousActions[CWSignalHandledCount];
    stack_t previousStack;
};

struct CWExceptionStorage {
    const char* recordPath;
    void (*previousTerminateHandler)();
    uint32_t customExceptionAllowance;
};

struct CWContext {
    std::atomic<uint8_t> initialized;
    uint8_t debuggerAttached;
    const char* sdkLogPath;
    void* alternateSignalStack;
    CWSubmittableCrashReceiver* submittableCrashReceiver;
    CWCrashCallbackReceiver* crashCallbackReceiver;
    uint8_t firstInstall;
    const char* binaryImagesPath;
    CWExceptionStorage exception;
    const char* documentsPath;
    uint64_t pageSize;
    CWSignalStorage signal;
    CWKeyValueStorage userKeyValues;
    CWKeyValueStorage internalKeyValues;
    CWABStorage logStorage;
    CWABStorage errorsStorage;
    CWABStorage customExceptionStorage;
};

struct CWCrashState {
    std::atomic<int32_t> sdkLogDescriptor;
    std::atomic<int32_t> minimumLogLevel;
    std::atomic<uint8_t> crashInProgress;
    // The thread recording the crash, once one has begun to.
    std::atomic<int32_t> recordingThread;
    CWFile binaryImagesFile;
    CWBinaryImageSlot binaryImages[CWBinaryImageSlotCount];
    // The current file of each A/B pair: path A or path B of its storage.
    std::atomic<const char*> logCurrentFile;
    std::atomic<const char*> errorsCurrentFile;
    std::atomic<const char*> customExceptionCurrentFile;
    uint32_t userKeyValueCount;
    uint32_t internalKeyValueCount;
    uint32_t errorsCount;
    uint32_t customExceptionCount;
};

inline constexpr uint64_t CWAlternateStackSize = 0x40000;

// The process's context and block; null until set-up made them.
CWContext* CWContextGet();
CWCrashState* CWCrashStateGet();
void CWContextInstall(CWContext* context, CWCrashState* state);

bool CWContextIsInitialized();
void CWContextMarkInitialized();

// True when a crash was already marked; otherwise marks it and answers false. One
// atomic step, so of two crashes arriving together only one goes on recording.
// Answers false without marking while the block does not exist.
bool CWContextMarkAndCheckIfCrashed();
bool CWContextHasCrashed();
void CWContextMarkCrashed();
