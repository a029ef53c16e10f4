#pragma once

#include "kit/support/KBClock.h"

// The steady clock of the machine; due hooks run on one timer thread.
class KBRealClock : public KBClock {
public:
    std::chrono::nanoseconds now() const override;
    void scheduleAt(std::chrono::nanoseconds due, std::function<void()> hook) override;

    // Ends the timer thread at quit: no hook due later runs. Answers whether
    // the thread has ended within `grace` (true when it never started).
    static bool endTimerThread(std::chrono::milliseconds grace);
};
