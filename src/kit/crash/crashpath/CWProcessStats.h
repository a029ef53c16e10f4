#pragma once

#include <cstddef>
#include <cstdint>

// Memory and CPU figures of the machine and the process, read from /proc and
// the kernel by hand into stack buffers, so that they can be taken while the
// process is crashing.

struct CWMemoryStats {
    uint64_t active;
    uint64_t inactive;
    // Memory that cannot be paged out: the kernel's "Unevictable".
    uint64_t wired;
    uint64_t free;
};

struct CWProcessUsage {
    uint64_t virtualBytes;
    uint64_t residentBytes;
    uint64_t userMicroseconds;
    uint64_t systemMicroseconds;
};

// Text of /proc/meminfo, figures in bytes. False unless every figure was found.
bool CWProcessStatsParseMeminfo(const char* text, size_t length, CWMemoryStats* out);
// Text of /proc/self/statm (sizes in pages).
bool CWProcessStatsParseStatm(const char* text, size_t length, uint64_t pageSize, CWProcessUsage* out);

// Reads a whole small file into `buffer`, zero-terminated. Answers its length, or -1.
long CWProcessStatsReadFile(const char* path, char* buffer, size_t size);

bool CWProcessGetMemoryUsage(CWMemoryStats* out);
bool CWProcessGetInfo(uint64_t pageSize, CWProcessUsage* out);
