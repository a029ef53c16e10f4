#pragma once

#include <csignal>

#include "kit/crash/crashpath/CWContext.h"

// The kit's handler for fatal signals. It records the "signal" record and the
// crash sections into "signal.cwrecord", puts back the actions that were in
// force before the kit and lets the signal take the course it would have taken
// without the kit.

inline constexpr int CWSignalHandledSignals[CWSignalHandledCount]
    = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP};

// How long a second crashing thread waits for the first recorder to end the process.
inline constexpr int CWSignalSecondCrashWaitSeconds = 10;

// Removes an old record file and installs the handler for every handled signal.
void CWSignalInitialize(CWSignalStorage* storage);
// The alternate stack for the calling thread, keeping the thread's previous one.
bool CWSignalInstallAlternateStack(CWSignalStorage* storage, void* stack);

void CWSignalHandler(int signal, siginfo_t* information, void* userContext);

// Default actions for the handled signals; the first of the table only when asked.
bool CWSignalSafeRemoveHandlers(bool includeFirst);
// Defaults, then the saved alternate stack and the saved non-default actions.
bool CWSignalSafeInstallPreexistingHandlers(const CWSignalStorage* storage);

const char* CWSignalNameForNumber(int signal);
// Null where the signal has no code name.
const char* CWSignalCodeNameForNumber(int signal);
