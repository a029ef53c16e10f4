#include "RecursionFault.h"

namespace {

volatile int* volatile gTarget = nullptr;

// Each level a real call of its own. GCC's noipa also keeps it from being
// cloned for the callers' arguments; clang does not know it, and there
// noinline with the barrier after the call keeps every level.
#if defined(__clang__)
#define LEVEL_OF_ITS_OWN [[gnu::noinline]]
#else
#define LEVEL_OF_ITS_OWN [[gnu::noinline, gnu::noipa]]
#endif

LEVEL_OF_ITS_OWN int descend(int level, int depth, RecursionFaultFacts* facts)
{
    if (level == 1) {
        facts->outerReturn = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    } else if (level == 2) {
        facts->innerReturn = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    }
    if (level == depth) {
        facts->beforeFault(facts);
        *gTarget = level;
        return 0;
    }
    int below = descend(level + 1, depth, facts);
    // Opaque to the optimiser: the call cannot become a loop or a jump.
    asm volatile("" : "+r"(below));
    return below + level;
}

} // namespace

int recurseAndFault(int depth, RecursionFaultFacts* facts)
{
    return descend(1, depth, facts);
}
