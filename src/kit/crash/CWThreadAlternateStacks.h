#pragma once

// sigaltstack is per thread, and a thread's own stack is useless to a signal
// handler once the thread has overflowed it. So every thread of the process
// gets an alternate signal stack: the kit wraps pthread_create for the whole
// process (the executable exports its definition, so the C++ library, Qt and
// any library loaded later create their threads through it), and each new
// thread sets up its stack before it runs its own code. The stack goes when
// the thread ends.
class CWThreadAlternateStacks {
public:
    // Gives the calling thread an alternate signal stack unless it has one.
    static bool prepareCurrentThread();
    // True when the calling thread has an alternate signal stack.
    static bool currentThreadHasOne();
};
