#pragma once

#include <cstddef>

// Reads memory that may not be mapped without faulting: the kernel copies it and
// reports an unreadable address as an error. Set-up probes the kernel's memory
// read once; where a seccomp filter refuses it, reads go through a pipe instead.
bool CWSafeReadInitialize();
bool CWSafeRead(const void* address, void* destination, size_t length);
// True when every byte up to a zero, or up to `limit` bytes, can be read.
bool CWSafeReadableString(const char* address, size_t limit);
