#pragma once

#include <asio/thread_pool.hpp>

#include <chrono>
#include <functional>

// The kit's one pool of worker threads. It lives until the process ends, so
// that work still queued at exit never meets a destroyed pool.
class KBThreadPool {
public:
    static asio::thread_pool& shared();

    // Ends the workers at quit: the work queued now runs, for up to `grace`;
    // after that what is still queued is dropped and the running blocks get
    // `grace` more. Answers whether every worker has ended. Work posted later
    // never runs.
    static bool finish(std::chrono::milliseconds grace);
    static bool hasFinished();

    // Told on the worker thread around every block of a kit queue, with the
    // queue's label (null for the global queue). A crash reporter uses it to
    // prepare each worker thread and to name the serial queue a thread runs;
    // the functions must be cheap and must not block.
    struct BlockObserver {
        void (*willRun)(const char* label) = nullptr;
        void (*didRun)() = nullptr;
    };
    static void setBlockObserver(BlockObserver observer);
    // Runs the block between the observer's two calls.
    static void runObserved(const char* label, const std::function<void()>& block);
};
