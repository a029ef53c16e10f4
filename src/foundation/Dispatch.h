#pragma once

#include <functional>
#include <mutex>

// Running work on the worker pool and handing work to the GUI thread.
//
// Callers rely on:
// - async() runs the closure on QThreadPool::globalInstance().
// - asyncMain() queues the closure to the GUI thread's event loop and returns;
//   once the application object has begun to go away (workers may still run
//   while it waits for them), the closure is dropped.
// - syncMain() runs the closure on the GUI thread and waits for it; called on the
//   GUI thread itself it runs the closure directly (no deadlock). The GUI thread
//   must not be blocked waiting for the caller meanwhile.
// - once() runs the closure exactly once per flag, other callers waiting for it.
// Without a QCoreApplication, syncMain runs the closure on the calling thread.
class Dispatch {
public:
    static void async(std::function<void()> work);
    static void asyncMain(std::function<void()> work);
    static void syncMain(const std::function<void()>& work);
    static void once(std::once_flag& flag, const std::function<void()>& work);
    static bool isMainThread();
};
