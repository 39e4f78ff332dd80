#pragma once
// The simulator's event loop, on one thread. It reads what the tool sends into a bounded
// buffer, finds the frames, serves one request at a time (the next only once the previous
// answer is out), injects the configured faults and prints every event as a JSON line.
//
// The controller side (simulator.cpp, commands.cpp) is the same everywhere; the port and
// the wait differ: on POSIX one ppoll over standard input and a pseudo-terminal master
// (simulator_posix.cpp), on Windows a COM port driven by the core's serial I/O thread and
// a standard-input reader thread, both waking the loop (simulator_win32.cpp).
#include "controller.h"
#include "link/frame_decoder.h"
#include "options.h"
#include "rx_buffer.h"
#include "transmitter.h"

#ifdef _WIN32
#include "com_port.h"
#include "stdin_reader.h"
#include "wake_signal.h"

#include <atomic>
#include <memory>
#else
#include "pty_port.h"

#include <csignal>
#endif

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zev1::sim {

class simulator {
public:
    explicit simulator(sim_options options);

    // Sets up memory and the port; false (with a message on stderr) when that fails.
    bool start();
    // Runs until quit, end of input with --exit-on-eof, or stop is set. Returns the exit
    // status.
#ifdef _WIN32
    int run(const std::atomic<bool>& stop);
#else
    int run(const volatile std::sig_atomic_t& stop, const sigset_t& wait_mask);
#endif

    // One command line from standard input (exposed for the loop in commands.cpp).
    void run_command(std::string_view line);

private:
    // Platform part: opens the port and prints the ready line.
    bool open_port();
    // Hands queued bytes to the port when one is due; a failed write ends the peer.
    void pump(sim_clock::time_point now);
    // Serves the frames already received, one request at a time: an unpaced answer is
    // out at once and the next request can follow in the same turn.
    void serve_pending(sim_clock::time_point now);
    // The tool has gone: what was still queued for it is reported lost, and the next
    // tool starts with no header known to it.
    void forget_peer();
    void on_peer_open();
    void on_hangup(sim_clock::time_point now);
    // Splits what arrived on standard input into command lines.
    void take_stdin(std::string_view chunk);
    void stdin_ended();
#ifndef _WIN32
    void check_peer(sim_clock::time_point now);
    void read_port(bool hangup, sim_clock::time_point now);
    void read_stdin();
#endif
    void serve(sim_clock::time_point now);
    void flush_skipped();
    void on_frame(std::span<const std::uint8_t> frame, sim_clock::time_point now);
    void send_answer(frame_bytes frame, sim_clock::time_point not_before);
    void send_plain(frame_bytes frame);
    void send_garbage(std::uint32_t count);
    void report_lost(std::deque<tx_item> lost);
    json_line protocol_error(std::string_view kind);
    void unplug();
    void replug();
    // The unplug and replug, or the end of the mute, that follow a cut, when they fall due.
    void run_plug_timers(sim_clock::time_point now);
    std::optional<sim_clock::time_point> next_plug_timer() const;
    void cancel_plug_timers();
    // Whether the answer about to go out is the one to cut; counts it when it has the type.
    bool take_cut(std::uint8_t type);
    void save_memory();

    sim_options options_;
    fault_settings& faults_; // options_.faults, changed by commands
    controller controller_;
#ifdef _WIN32
    std::shared_ptr<wake_signal> wake_ = std::make_shared<wake_signal>();
    com_port port_{*wake_};
    stdin_reader stdin_{wake_};
#else
    pty_port port_;
#endif
    rx_buffer rx_;
    frame_decoder decoder_;
    transmitter tx_;

    bool state_loaded_ = false;
    bool quit_ = false;
    bool stdin_open_ = true;
    std::string stdin_line_;
    bool stdin_overlong_ = false;

    bool peer_present_ = false;
    sim_clock::time_point next_peer_check_{};
    bool sent_any_ = false; // a frame went out to this peer: its header is now known to it
    std::uint32_t skipped_ = 0;
    std::uint64_t errors_ = 0;
    std::uint32_t start_garbage_;
    std::uint32_t drop_count_ = 0;
    std::uint32_t corrupt_count_ = 0;
    std::uint32_t garbage_state_ = 0x2F6B1A57; // xorshift32, fixed seed: repeatable runs

    std::optional<cut_plan> cut_;
    std::uint32_t cut_seen_ = 0; // answers of the cut's type since it was set
    // After a cut with unplug: nothing is sent or served until the unplug, which comes a
    // little after the cut so that the tool has read the bytes before it (a hang-up
    // discards what the tool has not read yet).
    std::optional<sim_clock::time_point> unplug_at_;
    std::optional<sim_clock::time_point> replug_at_;
    // After a cut with mute: nothing is sent or served until then; what arrived is dropped.
    std::optional<sim_clock::time_point> mute_until_;
    cut_plan::then after_cut_ = cut_plan::then::nothing;
    std::uint32_t after_cut_ms_ = 0;
};

} // namespace zev1::sim
