#include "kit/crash/CWHeapFallback.h"

#include <cstdlib>

void* CWHeapFallbackAllocate(size_t size)
{
    return std::calloc(1, size == 0 ? 1 : size);
}

void CWHeapFallbackFree(void* block)
{
    std::free(block);
}
