#pragma once

#include <cstddef>

// The C library runs the function of a SIGEV_THREAD timer (timer_create) or
// message-queue notification (mq_notify) on a thread it makes itself, from a
// helper thread that blocks every signal, and not through pthread_create: the
// kit's thread start never sees it. A fault there would end the process
// unrecorded. So the kit defines timer_create, timer_delete and mq_notify for
// the whole process, as it does pthread_create: a SIGEV_THREAD request goes on
// to the C library with a function of the kit's own, which prepares its thread
// as every new thread is prepared (CWThreadAlternateStacks) and then calls the
// caller's function with the caller's value.
//
// The caller's function and value wait in a table until the timer is deleted,
// or until the one-shot notification ran or was replaced or withdrawn. The
// value handed to the C library names a slot and its generation, so a call
// that arrives for a deleted timer finds the slot gone and is dropped rather
// than calling another timer's function.
class CWNotificationThreads {
public:
    // Callers whose function and value the table holds now.
    static size_t registeredCount();
};
