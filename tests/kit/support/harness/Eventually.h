#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Waits, in real time and bounded, until the condition holds; false when it
// never did. For work another thread finishes, never for time to pass.
inline bool eventually(const std::function<bool()>& condition, double seconds = 10.0)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
