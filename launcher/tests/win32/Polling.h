// Waiting for what a test watches, within a bound that fails the test, never for a fixed time.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace zandrel::launcher {

// Polls `condition` every 50 ms until it holds or the time is up; true when it held.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace zandrel::launcher
