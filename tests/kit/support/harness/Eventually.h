#pragma once

#include "support/Patience.h"

#include <chrono>
#include <functional>
#include <thread>

// Waits, in real time and bounded, until the condition holds; false when it
// never did. For work another thread finishes, never for time to pass. `step`,
// when given, runs before each look (a queue the test pumps by hand).
inline bool eventually(const std::function<bool()>& condition, double seconds = kPatientSeconds,
    const std::function<void()>& step = nullptr)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (step) {
            step();
        }
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
