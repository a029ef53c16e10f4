#include "UnwindChain.h"

#include <execinfo.h>

#include <csignal>
#include <cstdlib>

namespace {

UnwindChainRecord* gRecord = nullptr;

void store(UnwindChainRecord* record, void* returnAddress)
{
    record->returnAddresses[record->count++] = reinterpret_cast<uintptr_t>(returnAddress);
}

__attribute__((noinline)) void chainDeepest(UnwindChainRecord* record)
{
    store(record, __builtin_return_address(0));
    record->backtraceCount = backtrace(record->backtrace, 64);
    if (record->signal != 0) {
        raise(record->signal);
        return;
    }
    getcontext(&record->context);
    if (record->visit != nullptr) {
        record->visit(record);
    }
}

__attribute__((noinline)) int comparator(const void* a, const void* b)
{
    if (gRecord != nullptr) {
        UnwindChainRecord* record = gRecord;
        gRecord = nullptr;
        chainDeepest(record);
        store(record, __builtin_return_address(0));
    }
    return *static_cast<const int*>(a) - *static_cast<const int*>(b);
}

__attribute__((noinline)) int chainThroughQsort(UnwindChainRecord* record, int depth)
{
    int values[2] = {depth + 1, depth};
    gRecord = record;
    qsort(values, 2, sizeof(int), comparator);
    store(record, __builtin_return_address(0));
    return values[0];
}

// Two ways out after the frame is set up make the compiler save and restore its
// unwind rules around the first epilogue.
__attribute__((noinline)) int chainWithEarlyReturn(UnwindChainRecord* record, int depth)
{
    volatile int scratch[16];
    for (int i = 0; i < 16; ++i) {
        scratch[i] = depth + i;
    }
    const int sorted = chainThroughQsort(record, depth);
    store(record, __builtin_return_address(0));
    if (sorted == 7) {
        return scratch[3];
    }
    int sum = 0;
    for (int i = 0; i < 16; ++i) {
        sum += scratch[i] * sorted;
    }
    return sum + chainLeaf(sum);
}

} // namespace

__attribute__((noinline)) int chainLeaf(int value)
{
    asm volatile("" ::: "memory");
    return value * 3 + 1;
}

__attribute__((noinline)) int chainTop(UnwindChainRecord* record, int depth)
{
    record->count = 0;
    const int result = chainWithEarlyReturn(record, depth) + depth;
    store(record, __builtin_return_address(0));
    return result;
}
