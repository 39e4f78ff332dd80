#pragma once
// Standard error as the command-line tool's window: the traffic log (with --verbose),
// the progress bar (when standard error is a terminal), the received-frame counter
// (not shown), and Ctrl+C.
#include "link/counter_view.h"
#include "log/packet_line.h"
#include "log/traffic_log.h"
#include "memory/progress_view.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace zev1::cli {

// Installs the Ctrl+C handler: the first press sets the flag that the tick loop looks
// at; the handler then steps aside, so a second press ends the program at once.
void install_interrupt_handler();
bool interrupted();

bool stderr_is_terminal();
bool stdout_is_terminal();
// Columns of the terminal on standard error (80 when it cannot be told).
int stderr_columns();

// The progress bar; draws only when enabled (a terminal), always records the outcome.
class progress_bar final : public progress_view {
public:
    progress_bar(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}

    void show_progress(std::string_view text, std::uint32_t total, bool visible) override;
    void set_remaining(std::uint32_t remaining) override;
    bool take_cancel() override { return false; }
    void show_error(std::string_view text) override;

    // Erases a bar that is showing, so a text line can be written in its place.
    void clear_line();
    // Draws the bar again after such a line.
    void redraw() { draw(); }
    // The sequencer gave up on the transfer; taking the flag clears it.
    bool take_error();
    // May be read from another thread (a batch's display).
    std::uint32_t percent() const { return percent_.load(); }

private:
    void draw();

    std::FILE* out_;
    bool enabled_;
    bool visible_ = false;
    bool drawn_ = false;
    bool error_ = false;
    std::uint32_t total_ = 0;
    std::atomic<std::uint32_t> percent_{0};
};

// The traffic log: with verbose on, packet lines (the terminal's default view options)
// and timestamped text lines as the terminal window shows them. It also remembers what
// the command needs to know: valid frames received, frames the port took.
class console_log final : public traffic_log {
public:
    console_log(std::FILE* out, bool verbose, progress_bar& bar)
        : out_(out), verbose_(verbose), bar_(bar) {}

    void add_packet_line(std::span<const std::uint8_t> frame, bool received, std::string_view name,
                         std::string_view text) override;
    void log_text(std::string_view text) override;

    // A line of the tool's own (verbose only), such as a change of the port state.
    void note(std::string_view text);

    std::uint64_t frames_received() const { return frames_received_; }
    // Frames of this type that the port took since construction.
    std::uint64_t frames_sent(std::uint8_t type) const;

private:
    void write_line(const std::string& line);

    std::FILE* out_;
    bool verbose_;
    progress_bar& bar_;
    view_options view_{};
    std::uint64_t frames_received_ = 0;
    std::array<std::uint64_t, 256> sent_by_type_{};
};

class silent_counter final : public counter_view {
public:
    void show_counter(std::string_view) override {}
};

} // namespace zev1::cli
