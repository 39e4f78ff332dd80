#pragma once
// When the window's loop runs its next tick, decided once for every front end. The
// loop ticks every 10 ms on absolute deadlines; when the session says the ticks ahead
// have nothing to do (wifi_session::idle_ticks), the loop lets them pass and the next
// run stands for them all, so an idle program wakes ten times a second instead of a
// hundred. The wait ends early the moment the port reports something (arrived(), from
// its I/O thread) or the user acts (arrived() on the loop's thread): the next run is
// then the tick whose period it happened in, at that tick's own deadline, standing for
// the ticks before it. A frame is therefore decoded on the very tick it would have been
// had every tick run, and every time counted in ticks stays the same.
//
// A front end owns only the timer: it sets the wake function (which posts a wake to the
// loop's thread and returns at once), and on its thread calls begin_run() when the timer
// fires, end_run() after the tick to learn the next wait, and woken() when the posted
// wake arrives to learn the shortened wait.
#include "app/main_layout.h"
#include "serial/arrival_wake.h"
#include "session/wifi_session.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

namespace zev1 {

class tick_schedule final : public arrival_wake {
public:
    using clock = std::chrono::steady_clock;
    using time_source = std::function<clock::time_point()>;
    static constexpr clock::duration period = std::chrono::milliseconds(tick_ms);

    // The session says how many ticks ahead are idle; now is the loop's clock.
    explicit tick_schedule(const wifi_session& session, time_source now = &clock::now);
    tick_schedule(const tick_schedule&) = delete;
    tick_schedule& operator=(const tick_schedule&) = delete;

    // How the loop is woken (null: not at all); safe against a concurrent arrived().
    void set_wake(std::function<void()> wake);
    // Ticks are let pass only while allowed (tests and measurements switch it off).
    void allow_idle(bool allowed) { allow_idle_ = allowed; }

    // The timer fired: the number of ticks this run stands for (1 + those let pass), or 0
    // inside a run, where a nested event loop (a window's pump of pending messages) has
    // dispatched the timer again: no run starts then, and nothing is counted.
    int begin_run();
    // The run is over: the time until the next run (zero: at once). The first run is due
    // one period after construction.
    clock::duration end_run();
    // The posted wake has reached the loop's thread: the shortened time until the next
    // run, or nothing when the timer stays as it is.
    std::optional<clock::duration> woken();
    // The time until the next run as planned now (zero: at once).
    clock::duration wait() const;
    // The ticks the next run stands for, as planned now.
    int planned_ticks() const { return planned_; }
    // Ticks counted since the start (those let pass included).
    long long ticks_counted() const { return counted_; }
    // Ticks whose deadlines have passed by now: those counted and those of the wait in
    // progress that the next run will count.
    long long ticks_passed() const;

    // arrival_wake: any thread. Ends a wait that lets ticks pass.
    void arrived() override;

    // A wait as a timer takes it: whole milliseconds, rounded up.
    static int to_ms(clock::duration wait);

private:
    const wifi_session& session_;
    time_source now_;
    std::mutex wake_mutex_;
    std::function<void()> wake_;
    std::atomic<bool> armed_{false}; // a wait that lets ticks pass is on
    std::atomic<clock::rep> arrival_{0};
    clock::time_point next_; // deadline of the next run
    int planned_ = 1;        // ticks the next run stands for
    bool running_ = false;
    bool allow_idle_ = true;
    long long counted_ = 0;
};

} // namespace zev1
