#include "app/terminal_form.h"

#include "log/message_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace zev1 {

namespace {

constexpr std::string_view section = "log_win";

} // namespace

Tlog_win::Tlog_win(terminal_window_view& view, Tini_file& settings, const text_codec& codec,
                   clock_source clock)
    : view_(view), settings_(settings), codec_(codec), clock_(std::move(clock)) {}

Tlog_win::~Tlog_win() {
    if (log_file_.is_open()) {
        log_file_.close(); // writes out what is still buffered
    }
}

void Tlog_win::FormCreate() {
    // Place and outer size: each value applied right after it is read, with the
    // window's current value as its default.
    screen_rect g = view_.outer_geometry();
    g.top = settings_.ReadInteger(section, "Top", g.top);
    view_.set_outer_geometry(g);
    g = view_.outer_geometry();
    g.left = settings_.ReadInteger(section, "Left", g.left);
    view_.set_outer_geometry(g);
    g = view_.outer_geometry();
    g.width = std::max(1, static_cast<int>(settings_.ReadInteger(section, "Width", g.width)));
    view_.set_outer_geometry(g);
    g = view_.outer_geometry();
    g.height = std::max(1, static_cast<int>(settings_.ReadInteger(section, "Height", g.height)));
    view_.set_outer_geometry(g);

    view_.set_maximised(settings_.ReadBool(section, "InitMax", view_.maximised()));

    view_.set_checked(row(terminal_control::psat_txt),
                      settings_.ReadInteger(section, "psat_txt", 1) != 0);
    view_.set_checked(row(terminal_control::psat_hex),
                      settings_.ReadInteger(section, "psat_hex", 0) != 0);
    view_.set_checked(row(terminal_control::psat_hlavicky),
                      settings_.ReadInteger(section, "psat_hlavicky", 0) != 0);
    view_.set_checked(row(terminal_control::jen_prijem),
                      settings_.ReadInteger(section, "jen_prijem", 1) != 0);
    view_.set_checked(row(terminal_control::StandardOFF), false);

    view_.set_text(row(terminal_control::psat_txt), codec_.to_window(message_text(9)));
    view_.set_text(row(terminal_control::psat_hex), codec_.to_window(message_text(10)));
    view_.set_text(row(terminal_control::psat_hlavicky), codec_.to_window(message_text(11)));
    view_.set_text(row(terminal_control::jen_prijem), codec_.to_window(message_text(12)));
    view_.set_caption(codec_.to_window(message_text(13)));
}

Tlog_win::memo_geometry Tlog_win::layout_for(int client_height) {
    memo_geometry g{};
    g.log_height = std::max(0, static_cast<int>((client_height - memo_top) * 0.6));
    g.txt_top = memo_top + g.log_height + 1;
    g.txt_height = std::max(0, client_height - g.txt_top - 1);
    return g;
}

void Tlog_win::resized(int client_width, int client_height) {
    const memo_geometry g = layout_for(client_height);
    view_.place(row(terminal_control::log), {0, memo_top, client_width, g.log_height});
    view_.place(row(terminal_control::txt), {0, g.txt_top, client_width, g.txt_height});
}

void Tlog_win::clicked(terminal_control c) {
    if (c == terminal_control::NewLog) {
        NewLogClick();
    }
}

view_options Tlog_win::options() const {
    view_options o;
    o.txt = view_.checked(row(terminal_control::psat_txt));
    o.hex = view_.checked(row(terminal_control::psat_hex));
    o.headers = view_.checked(row(terminal_control::psat_hlavicky));
    o.receive_only = view_.checked(row(terminal_control::jen_prijem));
    o.standard_off = view_.checked(row(terminal_control::StandardOFF));
    return o;
}

void Tlog_win::add_packet_line(std::span<const std::uint8_t> frame, bool received,
                               std::string_view name, std::string_view text) {
    if (const auto line = compose_packet_line(frame, received, options(), name, text)) {
        append(terminal_control::log, codec_.to_window(*line));
    }
}

void Tlog_win::log_text(std::string_view text) {
    const std::time_t now = clock_();
    append(terminal_control::txt, codec_.to_window(text_view_line(now, text)));
    if (log_file_.is_open()) {
        log_file_ << log_file_line(now, text);
        log_file_.flush();
    }
}

void Tlog_win::append(terminal_control memo, std::string_view line) {
    view_.append_line(row(memo), line);
    int& lines = memo == terminal_control::log ? log_lines_ : txt_lines_;
    if (++lines > max_view_lines) {
        const int drop = lines - max_view_lines + max_view_lines / 10;
        view_.drop_first_lines(row(memo), drop);
        lines -= drop;
    }
}

void Tlog_win::NewLogClick() {
    if (log_file_.is_open()) {
        log_file_.close();
    }
    open_new_log();
    view_.set_text(row(terminal_control::NewLog), "New Log");
}

void Tlog_win::open_new_log() {
    // Relative to the process's current directory; appended to when it exists (two
    // clicks within one second share a name). Text mode: CR LF on Windows.
    const std::string name = log_file_name(clock_());
    log_path_.clear();
    log_file_.clear();
    log_file_.open(name, std::ios::out | std::ios::app);
    if (log_file_.is_open()) {
        log_path_ = name;
        return;
    }
    const int error = errno;
    const std::string reason = error != 0 ? std::strerror(error) : "unknown error";
    log_text("Cannot open the log file " + name + ": " + reason);
}

} // namespace zev1
