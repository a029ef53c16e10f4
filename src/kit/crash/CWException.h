#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kit/crash/CWStackFrame.h"

struct CWExceptionStorage;

// Uncaught C++ exceptions are recorded before they turn into an abort: the
// terminate handler writes an "exception" record plus the crash sections into
// "exception.cwrecord". The same record, without crash sections, carries the
// non-fatal custom exceptions and script errors the kit's public operations
// report; those go to the custom-exception A/B files.

enum CWExceptionKind : int32_t {
    CWExceptionKindObjectiveC = 1,
    CWExceptionKindCPlusPlus = 2,
    CWExceptionKindJavaScript = 3,
    CWExceptionKindCustom = 4,
};

// Set-up job: removes an old record file, installs the terminate handler
// (keeping the previous one) and starts the custom-exception count at 0.
void CWExceptionInitialize(CWExceptionStorage* storage, uint32_t* customExceptionCounter);

// Writes one record; nothing before set-up has finished. `name` and `reason`
// may be null; a frame's symbol, library and file are left out when absent.
void CWExceptionRecord(int32_t kind, const char* name, const char* reason, const std::vector<CWStackFramePtr>& frames,
    bool attemptDelivery);

void CWTerminateHandler();
// The recording step of the terminate handler: names and records the exception
// in flight, if any.
void CWCatchAndRecordActiveException();

// Checked a little after set-up: when another terminate handler has replaced
// the kit's, writes and answers the warning naming it.
std::optional<std::string> CWExceptionStartupWarnings();

// The exception the kit's public test operation throws.
inline constexpr const char* CWExceptionTestText = "Crashwatch C++ Test Exception";
[[noreturn]] void CWExceptionThrowTestException();
