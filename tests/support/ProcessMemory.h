#pragma once

#include <QtGlobal>

// The memory of the test process as Linux counts it, to bound what a piece of
// work takes: reset the peak, do the work, read the peak.
namespace ProcessMemory {

// Starts a new peak from the present resident size (/proc/self/clear_refs).
// False where the kernel does not offer it, and in an AddressSanitizer build,
// whose quarantine keeps freed memory resident: there the peak tells nothing
// of what the work took.
bool resetPeak();
// The highest resident size since the last reset (VmHWM), in bytes; -1 when
// unknown.
qint64 peakBytes();
// The present resident size (VmRSS), in bytes; -1 when unknown.
qint64 residentBytes();

} // namespace ProcessMemory
