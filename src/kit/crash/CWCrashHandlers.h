#pragma once

// Set-up of what the crash handler needs beyond the signal handlers themselves:
// the thread tables in the fixed allocator's writable part, the handler of the
// signal that stops threads, the C library's abort message, and the kit's
// worker threads (each gets an alternate signal stack of its own and reports
// which serial queue it runs). Runs once per set-up, off the crash path.
bool CWCrashHandlersInitialize();

// The signal that stops other threads while a crash is recorded.
int CWCrashHandlersStopSignal();
