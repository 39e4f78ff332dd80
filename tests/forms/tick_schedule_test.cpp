// Letting idle ticks pass changes no time counted in ticks. A loop on a simulated clock
// drives the session through the tick schedule, once with every tick run and once with
// idle ticks let pass, against a controller that answers each keep-alive (after delays
// that straddle tick boundaries), one that also sends text messages, each followed by a byte
// of line noise, and a silent one;
// a frame arrives in two parts, each part woken for as the port's I/O thread does.
#include "app/tick_schedule.h"
#include "link/frame.h"
#include "support/fake_link_port.h"
#include "support/recording_views.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace zev1 {
namespace {

using namespace std::chrono_literals;
using clock_type = tick_schedule::clock;

enum class controller { answers, texts, silent };

struct run_record {
    std::vector<std::string> timeline; // "<tick> <what>", in order
    int runs = 0;                      // timer runs the loop made
};

std::vector<std::uint8_t> frame_of(std::uint8_t type, std::string_view data) {
    std::array<std::uint8_t, frame_max_length> out{};
    const std::size_t n =
        build_frame(out, type, frame_header{},
                    {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()});
    return {out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)};
}

constexpr long long last_tick = 400;

run_record run_loop(controller who, bool let_pass) {
    const auto ini = std::filesystem::path(::testing::TempDir()) / "tick_schedule_test.INI";
    std::filesystem::remove(ini);
    run_record record;
    {
        const clock_type::time_point start = clock_type::time_point(1h);
        clock_type::time_point now = start;
        fake_link_port port;
        port.present.insert("COM5");
        Tini_file settings(ini);
        settings.WriteString("com", "com", "COM5");
        recording_log log;
        recording_counter counter;
        recording_progress progress;
        wifi_session session(port, settings, log, counter, progress);
        tick_schedule schedule(session, [&] { return now; });
        schedule.allow_idle(let_pass);
        bool woken = false;
        schedule.set_wake([&] { woken = true; });

        // What the controller has on the wire: parts of frames by the time they arrive.
        std::multimap<clock_type::time_point, std::vector<std::uint8_t>> wire;
        clock_type::time_point wire_free = start;
        const auto put_on_wire = [&](clock_type::time_point at, std::vector<std::uint8_t> f) {
            at = std::max(at, wire_free);
            const auto half = f.begin() + static_cast<std::ptrdiff_t>(f.size() / 2);
            wire.emplace(at, std::vector<std::uint8_t>(f.begin(), half));
            if (half != f.end()) {
                wire.emplace(at + 2ms, std::vector<std::uint8_t>(half, f.end()));
            }
            wire_free = at + 2ms;
        };
        const std::array<clock_type::duration, 5> delays = {300us, 3ms, 9500us, 14ms, 26ms};
        std::size_t answered = 0;
        clock_type::time_point next_text = start + 1234ms;

        std::size_t logged = 0;
        std::size_t events = 0;
        std::size_t sent = 0;
        long long tick = 0;
        clock_type::time_point due = now + schedule.wait();
        while (tick < last_tick) {
            if (who == controller::texts && next_text < due && port.open()) {
                // A byte of line noise after each text: no frame, it only wakes.
                put_on_wire(next_text, frame_of(p_text, "hello"));
                put_on_wire(next_text + 155ms, {0x55});
                next_text += 777ms;
            }
            if (!wire.empty() && wire.begin()->first <= due) {
                now = wire.begin()->first;
                if (port.open()) {
                    port.bytes.feed(wire.begin()->second);
                    schedule.arrived(); // as the port does once the bytes are in its ring
                }
                wire.erase(wire.begin());
                if (std::exchange(woken, false)) {
                    if (const auto wait = schedule.woken()) {
                        due = now + *wait;
                    }
                }
                continue;
            }
            now = due;
            const int ticks = schedule.begin_run();
            tick += ticks;
            ++record.runs;
            session.tick(ticks);
            const auto at = std::to_string(tick) + " ";
            for (; logged < log.order.size(); ++logged) {
                record.timeline.push_back(at + log.order[logged]);
            }
            for (; events < port.events.size(); ++events) {
                if (port.events[events] == "open" || port.events[events] == "close") {
                    record.timeline.push_back(at + port.events[events]);
                }
            }
            for (; sent < port.bytes.sent().size(); ++sent) {
                const std::uint8_t type = port.bytes.sent()[sent][4];
                if (who != controller::silent && (type == P_PING || type == P_ECHO)) {
                    put_on_wire(now + delays[answered++ % delays.size()],
                                type == P_PING ? frame_of(P_PING_A, "")
                                               : frame_of(P_ECHO_A, std::string("ABC", 4)));
                }
            }
            due = now + schedule.end_run();
        }
        EXPECT_EQ(schedule.ticks_counted(), tick);
        // The last run may stand for ticks beyond the end; both runs are compared up to it.
        std::erase_if(record.timeline,
                      [](const std::string& line) { return std::stoll(line) > last_tick; });
    }
    std::filesystem::remove(ini);
    return record;
}

// The tick of each keep-alive sent and of the last frame received before it.
std::vector<std::pair<long long, long long>> keep_alives_after_answers(const run_record& r) {
    std::vector<std::pair<long long, long long>> pairs;
    long long last_rx = -1;
    for (const auto& line : r.timeline) {
        const long long tick = std::stoll(line);
        const std::string what = line.substr(line.find(' ') + 1);
        if (what.rfind("rx ", 0) == 0) {
            last_rx = tick;
        } else if ((what == "tx 1" || what == "tx 3") && last_rx >= 0) {
            pairs.emplace_back(last_rx, tick);
            last_rx = -1;
        }
    }
    return pairs;
}

TEST(tick_schedule, idle_ticks_pass_without_moving_any_time_counted_in_ticks) {
    for (const controller who : {controller::answers, controller::texts, controller::silent}) {
        SCOPED_TRACE(static_cast<int>(who));
        const run_record every_tick = run_loop(who, false);
        const run_record let_pass = run_loop(who, true);
        // Opened, keep-alives (answered, or closed by the watchdog and reopened).
        ASSERT_GE(every_tick.timeline.size(), 8U);
        EXPECT_EQ(let_pass.timeline, every_tick.timeline);
        EXPECT_LT(let_pass.runs * 2, every_tick.runs);
        // The keep-alive goes out 51 ticks after the tick that accepted the last frame.
        const auto pairs = keep_alives_after_answers(let_pass);
        EXPECT_EQ(pairs.empty(), who == controller::silent);
        for (const auto& [accepted, keep_alive] : pairs) {
            EXPECT_EQ(keep_alive - accepted, 51) << "accepted on tick " << accepted;
        }
    }
}

TEST(tick_schedule, a_wake_shortens_only_a_wait_that_lets_ticks_pass) {
    clock_type::time_point now = clock_type::time_point(1h);
    fake_link_port port;
    const auto ini = std::filesystem::path(::testing::TempDir()) / "tick_schedule_wake.INI";
    std::filesystem::remove(ini);
    Tini_file settings(ini);
    recording_log log;
    recording_counter counter;
    recording_progress progress;
    wifi_session session(port, settings, log, counter, progress);
    tick_schedule schedule(session, [&] { return now; });
    int wakes = 0;
    schedule.set_wake([&] { ++wakes; });
    // No port: every tick has work, nothing to wake.
    now += schedule.wait();
    EXPECT_EQ(schedule.begin_run(), 1);
    // A timer dispatched again inside the run (a window's pump) starts no run of its own.
    EXPECT_EQ(schedule.begin_run(), 0);
    EXPECT_EQ(schedule.ticks_counted(), 1);
    EXPECT_EQ(schedule.end_run(), tick_schedule::period);
    schedule.arrived();
    EXPECT_EQ(wakes, 0);
    EXPECT_EQ(schedule.woken(), std::nullopt);
    // A late run is not caught up: the next one is due a period after it.
    now += 35ms;
    schedule.begin_run();
    EXPECT_EQ(schedule.end_run(), 0ms);
    EXPECT_EQ(tick_schedule::to_ms(1us), 1);
    std::filesystem::remove(ini);
}

} // namespace
} // namespace zev1
