#pragma once

#include <condition_variable>
#include <mutex>

// One lock for the state of every operation and operation queue: dependencies
// cross queues, so per-object locks would have to be taken in many orders.
// It is held only for short state changes, never while user code runs.
class KBOperationGraph {
public:
    static std::mutex& mutex();
    // Signalled whenever an operation finishes or a queue empties.
    static std::condition_variable& changed();
};
