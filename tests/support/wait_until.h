#pragma once
// Waiting in real time for a condition that another process or thread makes true.
#include <chrono>
#include <functional>
#include <thread>

namespace zev1::test {

// Polls `done` every `every` until it holds or `timeout` has passed; whether it held.
inline bool wait_until(const std::function<bool()>& done,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5),
                       std::chrono::milliseconds every = std::chrono::milliseconds(1)) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(every);
    }
    return true;
}

} // namespace zev1::test
