#include "console.h"

#include "link/frame.h"
#include "memory/progress_percent.h"

#include <atomic>
#include <csignal>
#include <ctime>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace zev1::cli {
namespace {

// Read by every thread that ticks a session; an atomic that needs no lock may be stored
// from a signal handler.
std::atomic<bool> interrupt_flag{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void on_interrupt(int signal_number) {
    interrupt_flag.store(true);
    std::signal(signal_number, SIG_DFL);
}

constexpr int bar_width = 40;

} // namespace

void install_interrupt_handler() {
    std::signal(SIGINT, on_interrupt);
#ifdef SIGTERM
    std::signal(SIGTERM, on_interrupt);
#endif
}

bool interrupted() {
    return interrupt_flag.load();
}

bool stderr_is_terminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) != 0;
#endif
}

bool stdout_is_terminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return ::isatty(STDOUT_FILENO) != 0;
#endif
}

int stderr_columns() {
#ifndef _WIN32
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
#endif
    return 80;
}

void progress_bar::show_progress(std::string_view, std::uint32_t total, bool visible) {
    if (visible) {
        total_ = total;
        percent_.store(0);
        visible_ = true;
        draw();
    } else {
        visible_ = false;
        clear_line();
    }
}

void progress_bar::set_remaining(std::uint32_t remaining) {
    const std::uint32_t p = progress_percent(total_, remaining);
    if (p != percent_.load() || !drawn_) {
        percent_.store(p);
        draw();
    }
}

void progress_bar::show_error(std::string_view) {
    error_ = true;
}

bool progress_bar::take_error() {
    const bool e = error_;
    error_ = false;
    return e;
}

void progress_bar::draw() {
    if (!enabled_ || !visible_) {
        return;
    }
    const std::uint32_t percent = percent_.load();
    const int filled = static_cast<int>(percent) * bar_width / 100;
    std::string line = "\rreading [";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(bar_width - filled), '.');
    line += "] ";
    line += std::to_string(percent);
    line += " %";
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
    drawn_ = true;
}

void progress_bar::clear_line() {
    if (!drawn_) {
        return;
    }
    std::string blank = "\r";
    blank.append(static_cast<std::size_t>(bar_width) + 20, ' ');
    blank += '\r';
    std::fputs(blank.c_str(), out_);
    std::fflush(out_);
    drawn_ = false;
}

void console_log::add_packet_line(std::span<const std::uint8_t> frame, bool received,
                                  std::string_view name, std::string_view text) {
    if (received) {
        ++frames_received_;
    } else if (frame.size() > 4) {
        ++sent_by_type_[frame[frame_type_offset]];
    }
    if (!verbose_) {
        return;
    }
    if (auto line = compose_packet_line(frame, received, view_, name, text)) {
        write_line(*line);
    }
}

void console_log::log_text(std::string_view text) {
    if (verbose_) {
        write_line(text_view_line(std::time(nullptr), text));
    }
}

void console_log::note(std::string_view text) {
    if (verbose_) {
        write_line(std::string(text));
    }
}

std::uint64_t console_log::frames_sent(std::uint8_t type) const {
    return sent_by_type_[type];
}

void console_log::write_line(const std::string& line) {
    bar_.clear_line();
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
    bar_.redraw();
}

} // namespace zev1::cli
