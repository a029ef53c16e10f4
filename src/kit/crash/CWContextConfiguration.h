#pragma once

#include <cstdint>

class CWCrashCallbackReceiver;
class CWSubmittableCrashReceiver;

// What the report controller hands to CWContextInitialize. The strings belong to
// the caller for the duration of the call; the context copies what it keeps.
struct CWContextConfiguration {
    const char* apiKey = nullptr;
    CWSubmittableCrashReceiver* submittableCrashReceiver = nullptr;
    bool firstInstall = false;
    CWCrashCallbackReceiver* crashCallbackReceiver = nullptr;
    const char* customBundleIdentifier = nullptr;
    const char* reportPath = nullptr;
    const char* reportIdentifier = nullptr;
    const char* installIdentifier = nullptr;
    const char* betaToken = nullptr;
    uint32_t machExceptionMask = 0;
    uint8_t errorReportingEnabled = 0;
    uint8_t customExceptionsEnabled = 0;
    uint32_t maxCustomExceptions = 0;
    uint32_t errorLogBufferSize = 0;
    uint32_t logBufferSize = 0;
    uint32_t maxCustomKeys = 0;
};
