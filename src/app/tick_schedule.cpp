#include "app/tick_schedule.h"

#include <algorithm>

namespace zev1 {

tick_schedule::tick_schedule(const wifi_session& session, time_source now)
    : session_(session), now_(std::move(now)), next_(now_() + period) {}

void tick_schedule::set_wake(std::function<void()> wake) {
    const std::lock_guard lock(wake_mutex_);
    wake_ = std::move(wake);
}

int tick_schedule::begin_run() {
    if (running_) {
        return 0;
    }
    armed_.store(false);
    running_ = true;
    counted_ += planned_;
    return planned_;
}

tick_schedule::clock::duration tick_schedule::end_run() {
    running_ = false;
    // Armed before the session is asked: bytes the port puts into its ring from here on
    // wake the loop, and bytes put in before are seen by idle_ticks(). The fences pair
    // with the one in arrived(): the ring's release and acquire alone do not order a
    // store before a load on both sides.
    armed_.store(true);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    const int idle = allow_idle_ ? std::max(session_.idle_ticks(), 0) : 0;
    if (idle == 0) {
        armed_.store(false);
    }
    // Absolute deadlines, as a repeating timer keeps them: the time a run takes does not
    // push the later ticks back. A run late by more than a tick is not caught up twice;
    // the schedule goes on from now.
    const clock::time_point now = now_();
    planned_ = 1 + idle;
    next_ += planned_ * period;
    if (next_ + period < now) {
        next_ = now;
    }
    return std::max(next_ - now, clock::duration::zero());
}

std::optional<tick_schedule::clock::duration> tick_schedule::woken() {
    if (running_ || planned_ <= 1) {
        return std::nullopt;
    }
    const clock::time_point now = now_();
    const clock::time_point last = next_ - planned_ * period; // the last run's deadline
    // When the port saw it (an older stamp belongs to an earlier wait), else now.
    const clock::time_point stamp{clock::duration(arrival_.load())};
    const clock::time_point at = stamp > last && stamp < now ? stamp : now;
    // The first tick whose period holds that moment: the one that would have seen it.
    const auto since = std::max(at - last, clock::duration::zero());
    const auto k =
        std::clamp<clock::rep>((since + period - clock::duration(1)) / period, 1, planned_);
    if (k >= planned_) {
        return std::nullopt;
    }
    planned_ = static_cast<int>(k);
    next_ = last + planned_ * period;
    return std::max(next_ - now, clock::duration::zero());
}

void tick_schedule::arrived() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!armed_.load()) {
        return;
    }
    arrival_.store(now_().time_since_epoch().count());
    if (!armed_.exchange(false)) {
        return; // another arrival woke the loop already
    }
    const std::lock_guard lock(wake_mutex_);
    if (wake_) {
        wake_();
    }
}

tick_schedule::clock::duration tick_schedule::wait() const {
    return std::max(next_ - now_(), clock::duration::zero());
}

long long tick_schedule::ticks_passed() const {
    if (running_ || planned_ <= 1) {
        return counted_;
    }
    const auto since = now_() - (next_ - planned_ * period);
    return counted_ + std::clamp<long long>(since / period, 0, planned_ - 1);
}

int tick_schedule::to_ms(clock::duration wait) {
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
}

} // namespace zev1
