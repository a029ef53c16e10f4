#pragma once

#include <cstddef>

// The system allocator, kept out of the crash-path objects: they reach it only
// off the crash path (allocations made during set-up that overflow the fixed
// allocator, and the write buffer of user-logging files).
void* CWHeapFallbackAllocate(size_t size);
void CWHeapFallbackFree(void* block);
