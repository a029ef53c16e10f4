#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

// One thread running an Asio context until it is ended: the kit's timer
// thread and the main queue's own thread. The object is meant to be made once
// and never destroyed, so that work posted during the process's exit meets a
// live context (which, once ended, simply never runs it).
class KBServiceThread {
public:
    KBServiceThread();
    KBServiceThread(const KBServiceThread&) = delete;
    KBServiceThread& operator=(const KBServiceThread&) = delete;

    asio::io_context& context() { return context_; }

    enum class Queued { Run, Drop };
    // Ends the thread, first letting what is queued run for up to `grace`
    // when asked to (a timer not yet due counts as queued, so a clock drops
    // it), then dropping the rest and waiting up to `grace` for the block
    // running now. Answers whether the thread has ended; a later call waits
    // again when it has not.
    bool end(std::chrono::milliseconds grace, Queued queued);

private:
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::promise<void> finished_;
    std::shared_future<void> whenFinished_;
    std::thread thread_;
    std::mutex endMutex_;
    bool ended_ = false;
};
