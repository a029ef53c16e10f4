#pragma once

#include <string>

// The crasher's ways of dying through the kit's signal and exception handlers.
// Facts the tests compare the record with (return addresses, tids, function
// addresses) go to "crasher.txt" in the report folder, one "key value" a line,
// before the crash.

// Runs before the kit is set up (handlers that must exist before it).
void crashModeBeforeSetUp(const std::string& mode);
// Answers false for a mode it does not know; otherwise it does not return or
// answers with the process's exit status in `status`.
bool runCrashMode(const std::string& mode, const std::string& folder, int* status);
