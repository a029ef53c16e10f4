#pragma once

#include "kit/support/KBQueue.h"

#include <chrono>
#include <functional>

// The kit's main queue. The application binds it to its own event loop;
// tests bind it to a list they pump by hand. Unbound, it runs on a thread of
// its own, one block at a time.
class KBMainQueue : public KBQueue {
public:
    using Executor = std::function<void(std::function<void()>)>;

    static std::shared_ptr<KBMainQueue> shared();
    // An empty executor restores the dedicated thread.
    static void setExecutor(Executor executor);
    // Ends the dedicated thread at quit: what is queued runs for up to
    // `grace`, the rest is dropped. Answers whether it has ended (true when
    // it never started).
    static bool endDedicatedThread(std::chrono::milliseconds grace);

    void async(std::function<void()> block) override;
    std::string label() const override;
};
