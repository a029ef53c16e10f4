#include "kit/crash/crashpath/CWAllocator.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kit/crash/CWHeapFallback.h"
#include "kit/crash/crashpath/CWSDKLog.h"

namespace {

constexpr uint64_t kAllocatorRecordSize = 64;
static_assert(sizeof(CWAllocator) == kAllocatorRecordSize);

void* heapFallback(uint64_t size)
{
    return CWHeapFallbackAllocate(static_cast<size_t>(size));
}

} // namespace

uint64_t CWHostGetPageSize()
{
    const long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<uint64_t>(page) : 4096;
}

uint64_t CWAllocatorMappedSize(const CWAllocator* allocator)
{
    const uint64_t page = CWHostGetPageSize();
    return allocator->writable.size + allocator->readOnly.size + 3 * page;
}

CWAllocator* CWAllocatorCreate(uint64_t writableSize, uint64_t readOnlySize)
{
    const uint64_t page = CWHostGetPageSize();
    // Both parts gain a page even when the request is already a multiple of it.
    const uint64_t writable = writableSize > 0 ? (writableSize / page + 1) * page : 0;
    const uint64_t readOnly = ((readOnlySize + kAllocatorRecordSize) / page + 1) * page;
    const uint64_t total = writable + readOnly + 3 * page;
    void* mapping = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        CWLOG_ERROR("Mapping failed %s\n", strerrordesc_np(errno));
        return nullptr;
    }
    auto* base = static_cast<char*>(mapping);
    char* writableStart = base + page;
    char* readOnlyStart = writableStart + writable + page;
    CWLOG_INFO("Mapping: %p %p %p, total: %zu K\n", mapping, static_cast<void*>(writableStart),
        static_cast<void*>(readOnlyStart));
    if (mprotect(base, page, PROT_NONE) != 0) {
        CWLOG_ERROR("First guard protection failed %s\n", strerrordesc_np(errno));
        return nullptr;
    }
    if (mprotect(writableStart + writable, page, PROT_NONE) != 0) {
        CWLOG_ERROR("Middle guard protection failed %s\n", strerrordesc_np(errno));
        return nullptr;
    }
    if (mprotect(readOnlyStart + readOnly, page, PROT_NONE) != 0) {
        CWLOG_ERROR("Last guard protection failed %s\n", strerrordesc_np(errno));
        return nullptr;
    }
    auto* allocator = reinterpret_cast<CWAllocator*>(readOnlyStart);
    allocator->base = reinterpret_cast<uintptr_t>(base);
    allocator->isProtected = 0;
    allocator->writable.size = writable;
    allocator->writable.start = reinterpret_cast<uintptr_t>(writableStart);
    allocator->writable.cursor.store(allocator->writable.start);
    allocator->readOnly.size = readOnly;
    allocator->readOnly.start = reinterpret_cast<uintptr_t>(readOnlyStart);
    allocator->readOnly.cursor.store(allocator->readOnly.start + kAllocatorRecordSize);
    CWLOG_DEBUG("Allocator successfully created %p", allocator);
    return allocator;
}

void* CWAllocatorSafeAllocateFromRegion(CWAllocatorRegion* region, uint64_t size)
{
    const uint64_t rounded = (size + CWAllocationAlignment - 1) & ~(CWAllocationAlignment - 1);
    uint64_t cursor = region->cursor.load();
    while (true) {
        const uint64_t used = cursor - region->start;
        if (rounded < size || rounded > region->size - used) {
            CWLOG_WARN("Unable to allocate sufficient memory, falling back to malloc\n");
            return heapFallback(size);
        }
        if (region->cursor.compare_exchange_weak(cursor, cursor + rounded, std::memory_order_seq_cst)) {
            return reinterpret_cast<void*>(cursor);
        }
    }
}

void* CWAllocatorSafeAllocate(CWAllocator* allocator, uint64_t size, int kind)
{
    if (allocator == nullptr) {
        CWLOG_WARN("Allocator invalid, falling back to malloc\n");
        return heapFallback(size);
    }
    if (allocator->isProtected) {
        CWLOG_WARN("Allocator already protected, falling back to malloc\n");
        return heapFallback(size);
    }
    switch (kind) {
    case CWAllocationWritable:
        return CWAllocatorSafeAllocateFromRegion(&allocator->writable, size);
    case CWAllocationReadOnly:
        return CWAllocatorSafeAllocateFromRegion(&allocator->readOnly, size);
    default:
        return nullptr;
    }
}

bool CWAllocatorProtect(CWAllocator* allocator)
{
    if (reinterpret_cast<uintptr_t>(allocator) < 4096) {
        CWLOG_ERROR("Invalid allocator");
        return false;
    }
    if (allocator->isProtected) {
        CWLOG_WARN("Write protection already enabled");
        return true;
    }
    allocator->isProtected = 1;
    return mprotect(reinterpret_cast<void*>(allocator->readOnly.start), allocator->readOnly.size, PROT_READ) == 0;
}

bool CWAllocatorUnprotect(CWAllocator* allocator)
{
    if (reinterpret_cast<uintptr_t>(allocator) < 4096) {
        return false;
    }
    if (mprotect(reinterpret_cast<void*>(allocator->base), CWAllocatorMappedSize(allocator), PROT_READ | PROT_WRITE)
        != 0) {
        return false;
    }
    allocator->isProtected = 0;
    return true;
}

void CWAllocatorFree(CWAllocator* allocator, void* block)
{
    if (allocator == nullptr) {
        CWHeapFallbackFree(block);
    }
}

char* CWAllocatorCopyString(CWAllocator* allocator, const char* text)
{
    if (text == nullptr) {
        return nullptr;
    }
    const size_t length = strlen(text) + 1;
    auto* copy = static_cast<char*>(CWAllocatorSafeAllocate(allocator, length, CWAllocationReadOnly));
    if (copy != nullptr) {
        memcpy(copy, text, length);
    }
    return copy;
}
