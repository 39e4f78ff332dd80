#include "serial/web_serial.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

namespace zev1 {

namespace {

std::string hex4(int value) {
    static constexpr std::string_view digits = "0123456789abcdef";
    std::string text(4, '0');
    for (std::size_t i = 0; i < 4; ++i) {
        text[3 - i] = digits[static_cast<std::size_t>((value >> (4 * i)) & 0xF)];
    }
    return text;
}

std::string_view failure_text(web_open_failure why) {
    switch (why) {
    case web_open_failure::busy:
        return "cannot be opened: in use by another program or browser tab, or the system "
               "refuses it";
    case web_open_failure::refused:
        return "may no longer be used by this page: add it again";
    case web_open_failure::gone:
        return "is not there any more";
    }
    return "cannot be opened";
}

// What the browser's error says happened to the line, for the text view.
std::string_view line_error_text(std::string_view error, bool writing) {
    if (writing) {
        return "a block could not be written";
    }
    if (error == "BreakError") {
        return "break on the line";
    }
    if (error == "FramingError") {
        return "framing error on the line";
    }
    if (error == "ParityError") {
        return "parity error on the line";
    }
    if (error == "BufferOverrunError") {
        return "the browser's receive buffer overran";
    }
    return "read error";
}

// The device is lost: the browser has closed the port's streams for good.
constexpr std::string_view device_lost = "NetworkError";

} // namespace

std::string web_port_name(int vid, int pid, int nth) {
    std::string name = vid >= 0 && pid >= 0 ? "USB " + hex4(vid) + ":" + hex4(pid)
                                            : "serial port " + std::to_string(nth);
    if (vid >= 0 && pid >= 0 && nth > 1) {
        name += " #" + std::to_string(nth);
    }
    return name;
}

void web_serial::set_ports(std::span<const web_port_info> ports) {
    std::vector<entry> list;
    std::map<std::pair<int, int>, int> seen;
    int plain = 0;
    for (const web_port_info& p : ports) {
        const bool usb = p.vid >= 0 && p.pid >= 0;
        const int nth = usb ? ++seen[{p.vid, p.pid}] : ++plain;
        entry e{web_port_name(p.vid, p.pid, nth), p.id, {}};
        if (usb) {
            e.description.vid = hex4(p.vid);
            e.description.pid = hex4(p.pid);
        }
        list.push_back(std::move(e));
    }
    const bool changed =
        list.size() != ports_.size() ||
        !std::equal(list.begin(), list.end(), ports_.begin(), [](const entry& a, const entry& b) {
            return a.name == b.name && a.id == b.id;
        });
    ports_ = std::move(list);
    if (changed) {
        list_.changed();
    }
}

void web_serial::scan_ports() {
    // The browser keeps the list; a scan only shows it and names each port once.
    for (const entry& e : ports_) {
        list_.note_port(e.name, {});
    }
    list_.scanned();
}

bool web_serial::port_present(std::string_view name) {
    return !name.empty() && find(name) != nullptr;
}

void web_serial::fill_port_list(port_list_view& view) {
    if (!list_.fill_due()) {
        return;
    }
    const std::vector<std::string> names = port_names();
    const auto chosen = std::find(names.begin(), names.end(), selected_);
    list_.fill(view, names, chosen == names.end() ? -1 : static_cast<int>(chosen - names.begin()));
}

void web_serial::select_port(std::string_view name) {
    if (state_ != state::closed) {
        close_port();
    }
    if (!name.empty() && find(name) != nullptr) {
        selected_ = std::string(name);
        list_.chosen();
        retry_wait_ = 0;
        problem_.reset();
    }
}

void web_serial::open_close(std::uint32_t baud) {
    switch (state_) {
    case state::open:
    case state::gone:
        close_port();
        return;
    case state::opened:
        state_ = state::open; // the link takes the connection the browser opened
        return;
    case state::opening:
        return;
    case state::held:
        if (const entry* port = find(selected_); port != nullptr && port->id == connection_port_) {
            resume_held();
            return;
        }
        end_connection(); // the port's name now stands for another: opened afresh
        break;
    case state::closed:
        break;
    }
    if (retry_wait_ > 0) {
        --retry_wait_;
        return;
    }
    const entry* port = find(selected_);
    if (port == nullptr) {
        return;
    }
    ++connection_;
    connection_port_ = port->id;
    state_ = state::opening;
    write_pending_ = false;
    line_format line = link_format;
    line.baud = baud;
    host_.open(port->id, connection_, line);
}

void web_serial::opened(int connection) {
    if (connection != connection_ || state_ != state::opening) {
        // Closed (or another port chosen) while the browser was opening it.
        host_.close(connection);
        return;
    }
    state_ = state::opened;
    dtr_ = false;
    rts_ = false;
    problem_.reset();
    errors_said_.clear();
    // Nothing of an earlier connection (an answer cut by an unplug) may pass for part of
    // a frame on this one.
    staged_.clear();
    ring_.skip(ring_.count());
}

void web_serial::open_failed(int connection, web_open_failure why, std::string_view detail) {
    if (connection != connection_ || state_ != state::opening) {
        return;
    }
    state_ = state::closed;
    retry_wait_ = open_retry_ticks;
    // The link asks again every tick: said once, until the port has opened.
    if (!problem_ || problem_->port != selected_ || problem_->why != why) {
        std::string line = selected_ + " " + std::string(failure_text(why));
        if (!detail.empty()) {
            line += " (" + std::string(detail) + ")";
        }
        list_.note(std::move(line));
    }
    problem_ = open_problem{selected_, why};
}

void web_serial::received(int connection, std::span<const std::uint8_t> bytes) {
    if (connection != connection_ || (state_ != state::open && state_ != state::opened)) {
        return;
    }
    for (std::uint8_t b : bytes) {
        if (staged_.size() >= max_staged) {
            ++staged_overruns_;
        } else {
            staged_.push_back(b);
        }
    }
    pump();
}

void web_serial::pump() {
    // Older bytes go first; what finds no room waits for the consumer.
    while (!staged_.empty() && ring_.count() < rx_ring::capacity) {
        ring_.put(staged_.front());
        staged_.pop_front();
    }
}

void web_serial::written(int connection) {
    if (connection == connection_) {
        write_pending_ = false;
    }
}

void web_serial::connection_ended(int connection) {
    if (connection != connection_) {
        return;
    }
    switch (state_) {
    case state::open:
        state_ = state::gone;
        write_pending_ = false;
        host_.close(connection_);
        break;
    case state::opening:
    case state::opened:
    case state::held:
        end_connection();
        break;
    case state::closed:
    case state::gone:
        break;
    }
}

bool web_serial::read_failed(int connection, std::string_view error) {
    return line_error(connection, error, false);
}

bool web_serial::write_failed(int connection, std::string_view error) {
    return line_error(connection, error, true);
}

bool web_serial::line_error(int connection, std::string_view error, bool writing) {
    if (connection != connection_ ||
        (state_ != state::open && state_ != state::opened && state_ != state::held)) {
        return false;
    }
    if (error == device_lost) {
        connection_ended(connection);
        return false;
    }
    if (writing) {
        write_pending_ = false; // the block is lost; the link's time-outs repeat it
    }
    // Said once for each kind on the link's connection: a noisy line would bury the
    // text view; none while held, when the link has no connection.
    if (state_ != state::held &&
        errors_said_.insert(std::string(error) + (writing ? " write" : " read")).second) {
        list_.note(selected_ + ": " + std::string(line_error_text(error, writing)) + " (" +
                   std::string(error) + ")");
    }
    return true;
}

bool web_serial::send_bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() >= write_block_size || state_ != state::open ||
        write_pending_) {
        return false;
    }
    write_pending_ = true;
    host_.write(connection_, bytes);
    return true;
}

void web_serial::close_port() {
    end_connection();
}

void web_serial::hold_port() {
    if (state_ != state::open) {
        close_port(); // a connection that ended by itself or never opened is not kept
        return;
    }
    state_ = state::held;
    staged_.clear();
}

void web_serial::resume_held() {
    // What came in while the link's connection was closed is dropped, as a close and
    // reopen would have dropped it, and the lines are low as after an open.
    staged_.clear();
    ring_.skip(ring_.count());
    state_ = state::open;
    problem_.reset();
    errors_said_.clear();
    if (dtr_ || rts_) {
        set_lines(false, false);
    }
}

void web_serial::end_connection() {
    if (state_ != state::closed) {
        host_.close(connection_);
    }
    state_ = state::closed;
    write_pending_ = false;
    staged_.clear();
}

std::string web_serial::state_text() const {
    if (selected_.empty()) {
        return {};
    }
    return selected_ + (is_open() ? " open" : " close");
}

void web_serial::set_lines(bool dtr, bool rts) {
    dtr_ = dtr;
    rts_ = rts;
    if (state_ == state::open) {
        host_.set_signals(connection_, dtr_, rts_);
    }
}

std::vector<std::string> web_serial::take_port_notes() {
    return list_.take_notes();
}

std::vector<std::string> web_serial::port_names() const {
    std::vector<std::string> names;
    for (const entry& e : ports_) {
        names.push_back(e.name);
    }
    return names;
}

std::optional<std::string> web_serial::name_of(int port_id) const {
    for (const entry& e : ports_) {
        if (e.id == port_id) {
            return e.name;
        }
    }
    return std::nullopt;
}

const web_serial::entry* web_serial::find(std::string_view name) const {
    const auto it =
        std::find_if(ports_.begin(), ports_.end(), [&](const entry& e) { return e.name == name; });
    return it == ports_.end() ? nullptr : &*it;
}

} // namespace zev1
