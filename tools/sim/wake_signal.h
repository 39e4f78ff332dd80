#pragma once
// Wakes the simulator's loop from other threads (the serial I/O thread, the standard-input
// reader): a notification counter and a condition variable, so a notification that comes
// while the loop is busy is not lost but ends its next wait at once.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zev1::sim {

class wake_signal {
public:
    void notify() {
        {
            const std::lock_guard lock(mutex_);
            ++count_;
        }
        cv_.notify_all();
    }

    // Returns once notify() was called after the previous wait returned, or at deadline.
    template <class Clock, class Duration>
    void wait_until(std::chrono::time_point<Clock, Duration> deadline) {
        std::unique_lock lock(mutex_);
        cv_.wait_until(lock, deadline, [this] { return count_ != seen_; });
        seen_ = count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::uint64_t count_ = 0;
    std::uint64_t seen_ = 0;
};

} // namespace zev1::sim
