#pragma once

// The process's heap as the C library keeps it.
class HeapServices {
public:
    // Large blocks (a file's bytes) get pages of their own, given back the
    // moment they are freed. Without this the allocator serves them from the
    // arena of the thread that asks, raises its own limits after the first
    // large block and keeps the arena's top after it is freed: every worker
    // thread of a save kept megabytes, and each save of the list left the
    // process larger. Process-wide, once; call before the work starts.
    static void giveLargeBlocksTheirOwnPages();
    // Hands the pages of freed blocks back to the system, after work spread
    // over many small blocks (a Clear of the list). Cheap enough for the end
    // of a loop.
    static void returnFreedMemory();
};
