#pragma once

#include <ucontext.h>

#include <cstdint>

// A chain of calls built with optimisation and without frame pointers, so that
// only the call-frame information can walk it. Each function stores its own
// return address; the deepest also takes a context of itself and a glibc
// backtrace. The chain passes through qsort, so libc's own frames lie between.
struct UnwindChainRecord {
    uintptr_t returnAddresses[8];
    int count;
    ucontext_t context;
    void* backtrace[64];
    int backtraceCount;
    // Called by the deepest function while the whole chain is still on the stack.
    void (*visit)(UnwindChainRecord* record);
    void* user;
    // When set, the deepest function raises this signal instead; the test's
    // handler takes the context and visits.
    int signal;
};

// chainTop -> chainWithEarlyReturn -> chainThroughQsort -> qsort -> comparator -> chainDeepest.
// Stored in that order from the deepest: chainDeepest, comparator, chainThroughQsort,
// chainWithEarlyReturn, chainTop.
int chainTop(UnwindChainRecord* record, int depth);

// A function of the chain's translation unit whose first instruction tests fault at.
int chainLeaf(int value);
