#pragma once

#include <chrono>

// The kit's own threads as one: its timer thread, its pool of workers and
// the main queue's own thread. At quit they end before the objects their
// work uses are destroyed with the process's statics.
class KBKitThreads {
public:
    // Stops the timers (nothing due later fires), lets the queued work run
    // for up to `grace`, then drops the rest and ends the threads. Answers
    // whether every thread has ended; when one is still running after the
    // grace periods, the caller must end the process without destroying the
    // statics it may use.
    static bool end(std::chrono::milliseconds grace);
};
