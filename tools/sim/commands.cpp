// The control commands read from standard input, one a line.
#include "simulator.h"

#include <charconv>
#include <string>

namespace zev1::sim {

namespace {

bool parse_count(std::string_view text, std::uint32_t& out) {
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc{} && ptr == end;
}

bool parse_switch(std::string_view text, bool& out) {
    if (text == "on") {
        out = true;
        return true;
    }
    if (text == "off") {
        out = false;
        return true;
    }
    return false;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

void simulator::run_command(std::string_view line) {
    if (trim(line).empty()) {
        return;
    }
    while (line.front() == ' ' || line.front() == '\t') {
        line.remove_prefix(1);
    }
    const auto space = line.find(' ');
    const std::string_view word = trim(line.substr(0, space));
    // say keeps its text as typed, inner and trailing blanks included.
    const std::string_view raw_arg = space == std::string_view::npos ? "" : line.substr(space + 1);
    const std::string_view arg = trim(raw_arg);

    bool ok = true;
    std::uint32_t n = 0;
    if (word == "quit" && arg.empty()) {
        quit_ = true;
    } else if (word == "unplug" && arg.empty()) {
        unplug();
    } else if (word == "replug" && arg.empty()) {
        replug();
    } else if (word == "say") {
        send_plain(controller_.text_frame(raw_arg));
    } else if (word == "garbage" && parse_count(arg, n)) {
        send_garbage(n);
    } else if (word == "drop" && parse_count(arg, n)) {
        faults_.drop_every = n;
        drop_count_ = 0;
    } else if (word == "corrupt" && parse_count(arg, n)) {
        faults_.corrupt_every = n;
        corrupt_count_ = 0;
    } else if (word == "delay" && parse_count(arg, n)) {
        faults_.delay_ms = n;
    } else if (word == "silent") {
        ok = parse_switch(arg, faults_.silent);
    } else if (word == "wrong-address") {
        ok = parse_switch(arg, faults_.wrong_address);
    } else if (word == "short-read") {
        ok = parse_switch(arg, faults_.short_read);
    } else if (word == "echo-no-zero") {
        ok = parse_switch(arg, faults_.echo_no_zero);
    } else if (word == "echo-long") {
        ok = parse_switch(arg, faults_.echo_long);
    } else if (word == "long-text") {
        ok = parse_switch(arg, faults_.long_text);
    } else {
        ok = false;
    }
    if (ok) {
        json_line().text("event", "command").text("line", line).emit();
    } else {
        json_line().text("error", "command").text("line", line).emit();
    }
}

} // namespace zev1::sim
