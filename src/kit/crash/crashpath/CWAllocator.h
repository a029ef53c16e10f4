#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// One anonymous mapping made before any crash: guard page, writable part, guard
// page, read-only part, guard page. The read-only part becomes read-only once
// set-up has finished, so a stray write into the context faults instead of
// corrupting it. Allocations only move a cursor forward; nothing is freed.
struct CWAllocatorRegion {
    uint64_t size;
    uint64_t start;
    std::atomic<uint64_t> cursor;
};

struct CWAllocator {
    uint64_t base;
    uint8_t isProtected;
    CWAllocatorRegion writable;
    CWAllocatorRegion readOnly;
};

enum CWAllocationKind : int {
    CWAllocationReadOnly = 0,
    CWAllocationWritable = 1,
};

// Every block starts on this boundary, as atomics need natural alignment.
inline constexpr uint64_t CWAllocationAlignment = 16;

uint64_t CWHostGetPageSize();
CWAllocator* CWAllocatorCreate(uint64_t writableSize, uint64_t readOnlySize);
// Overflow, a protected allocator or no allocator at all fall back to the heap.
void* CWAllocatorSafeAllocate(CWAllocator* allocator, uint64_t size, int kind);
void* CWAllocatorSafeAllocateFromRegion(CWAllocatorRegion* region, uint64_t size);
bool CWAllocatorProtect(CWAllocator* allocator);
bool CWAllocatorUnprotect(CWAllocator* allocator);
// Releases `block` with the system allocator only when no allocator is given.
void CWAllocatorFree(CWAllocator* allocator, void* block);
// Copies a C string with its terminating zero into the read-only part.
char* CWAllocatorCopyString(CWAllocator* allocator, const char* text);
// The whole mapping from its first guard page to the end of its last one.
uint64_t CWAllocatorMappedSize(const CWAllocator* allocator);
