#pragma once

// sigaltstack is per thread, and a thread's own stack is useless to a signal
// handler once the thread has overflowed it. So every thread of the process
// gets an alternate signal stack: the kit wraps pthread_create for the whole
// process (the executable exports its definition, so the C++ library, Qt and
// any library loaded later create their threads through it), and each new
// thread sets up its stack before it runs its own code. The stack goes when
// the thread ends. A smaller stack that someone else set up first is set
// aside for the thread's life and put back at its end.
//
// The same start also unblocks the synchronous fault signals (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE, SIGTRAP, SIGSYS). A new thread inherits its creator's mask,
// and libraries often block every signal before they start their workers; the
// kernel then ends the process on a fault without running any handler, so the
// crash would be lost, while blocking them never keeps a fault from killing.
class CWThreadAlternateStacks {
public:
    // Gives the calling thread an alternate signal stack unless it has one
    // of at least CWAlternateStackSize bytes.
    static bool prepareCurrentThread();
    // True when the calling thread has an alternate signal stack of at least
    // CWAlternateStackSize bytes (what the kit's handler needs).
    static bool currentThreadHasOne();
    // Lets the synchronous fault signals reach the calling thread's handlers.
    static void unblockFaultSignals();
    // Both of the above: what every thread the kit sees start gets first.
    static void prepareNewThread();
};
