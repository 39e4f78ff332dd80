// The Windows side of the simulator: a COM port whose I/O thread, and a thread reading
// standard input, wake the loop through one wake_signal. The port has no notion of a
// far end opening it, so the peer counts as present while the port is open.
#include "simulator.h"

#include <algorithm>
#include <cstdio>

namespace zev1::sim {

namespace {

using namespace std::chrono_literals;

// The longest wait: the stop flag (set by Ctrl+C) is looked at this often.
constexpr auto max_wait = 50ms;

} // namespace

bool simulator::open_port() {
    std::string error;
    if (!port_.open(options_.port, error)) {
        std::fprintf(stderr, "zev1-sim: %s\n", error.c_str());
        return false;
    }
    json_line()
        .text("event", "ready")
        .text("port", port_.name())
        .hex("header", controller_.header())
        .text("id", options_.id)
        .number("baud", options_.baud)
        .boolean("state_loaded", state_loaded_)
        .emit();
    on_peer_open();
    return true;
}

int simulator::run(const std::atomic<bool>& stop) {
    stdin_.start();
    std::string input;
    while (!quit_ && !stop.load()) {
        auto now = sim_clock::now();
        run_plug_timers(now);
        if (peer_present_ && !port_.is_open()) {
            on_hangup(now); // the port failed under us
        }
        port_.take(rx_);
        if (stdin_open_) {
            input.clear();
            const bool open = stdin_.take(input);
            take_stdin(input);
            if (!open) {
                stdin_ended();
            }
            if (quit_) {
                break;
            }
        }
        pump(now);
        serve_pending(now);
        // Serving made room in the receive buffer: take more before waiting.
        if (rx_.room() > 0) {
            port_.take(rx_);
        }
        auto deadline = sim_clock::now() + max_wait;
        if (const auto due = tx_.next_due()) {
            deadline = std::min(deadline, *due);
        }
        if (const auto timer = next_plug_timer()) {
            deadline = std::min(deadline, *timer);
        }
        wake_->wait_until(deadline);
    }
    port_.close();
    json_line().text("event", "exit").emit();
    return 0;
}

void simulator::on_hangup(sim_clock::time_point) {
    if (!peer_present_) {
        return;
    }
    json_line().text("event", "peer-closed").emit();
    forget_peer();
}

void simulator::unplug() {
    if (!port_.is_open() && !peer_present_) {
        return;
    }
    forget_peer();
    port_.close();
    rx_.clear();
    decoder_ = frame_decoder{};
    json_line().text("event", "unplug").text("port", options_.port).emit();
}

void simulator::replug() {
    unplug();
    std::string error;
    if (!port_.open(options_.port, error)) {
        json_line().text("error", "replug").text("reason", error).emit();
        return;
    }
    json_line().text("event", "replug").text("port", port_.name()).emit();
    on_peer_open();
}

} // namespace zev1::sim
