#include "foundation/HeapServices.h"

// Any C library header tells which C library this is.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <mutex>

void HeapServices::giveLargeBlocksTheirOwnPages()
{
#if defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] {
        // Fixed values also turn off the allocator's own raising of them.
        mallopt(M_MMAP_THRESHOLD, 256 * 1024);
        mallopt(M_TRIM_THRESHOLD, 1024 * 1024);
    });
#endif
}

void HeapServices::returnFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
