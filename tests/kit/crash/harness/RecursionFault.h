#pragma once

#include <cstdint>

// A self-recursive function built with optimisation and without frame
// pointers, so that only the call-frame information can walk its frames:
// every level returns to the same address while the stack pointer moves.
struct RecursionFaultFacts {
    // The one return address every inner level goes back to.
    uint64_t innerReturn;
    // Where the outermost level returns to, in its caller.
    uint64_t outerReturn;
    // Called by the deepest level, just before its fault.
    void (*beforeFault)(const RecursionFaultFacts* facts);
};

// Descends to `depth` levels and faults in the deepest one.
int recurseAndFault(int depth, RecursionFaultFacts* facts);
