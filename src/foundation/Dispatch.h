#pragma once

#include <functional>
#include <mutex>

// Running work on the worker pool and handing work to the GUI thread.
//
// Callers rely on:
// - async() runs the closure on a thread pool of ours, never on
//   QThreadPool::globalInstance(): Qt's raster paint engine hands parts of a
//   paint to the global pool and waits for them on the GUI thread, so a
//   global-pool thread that waits for the GUI thread can stall a paint for
//   good (with one CPU the global pool has one thread). The pool has threads
//   enough for a long loop and short work beside it on one CPU.
// - asyncMain() queues the closure to the GUI thread's event loop and returns;
//   once the application object has begun to go away (workers may still run
//   while it waits for them), the closure is dropped.
// - syncMain() runs the closure on the GUI thread and waits for it; called on the
//   GUI thread itself it runs the closure directly (no deadlock). The GUI thread
//   must not be blocked waiting for the caller meanwhile. Once the application
//   has begun to go away the closure is dropped and the caller goes on, also
//   when it was already waiting: no worker waits for an event loop that ended.
// - once() runs the closure exactly once per flag, other callers waiting for it.
// - The application's end waits for the work async() started, after the
//   application has begun to close (QCoreApplication::closingDown()).
// Without a QCoreApplication, syncMain runs the closure on the calling thread.
class Dispatch {
public:
    static void async(std::function<void()> work);
    static void asyncMain(std::function<void()> work);
    static void syncMain(const std::function<void()>& work);
    static void once(std::once_flag& flag, const std::function<void()>& work);
    static bool isMainThread();
    // Waits until all work async() started has ended; false when `msecs`
    // passed first (a negative value waits without limit).
    static bool waitForWorkers(int msecs = -1);
};
