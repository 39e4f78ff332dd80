// The control commands read from standard input, one a line.
#include "simulator.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

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

// The blank-separated words of a line.
std::vector<std::string_view> words_of(std::string_view s) {
    std::vector<std::string_view> words;
    while (true) {
        const auto begin = s.find_first_not_of(" \t");
        if (begin == std::string_view::npos) {
            return words;
        }
        s.remove_prefix(begin);
        const auto end = std::min(s.find_first_of(" \t"), s.size());
        words.push_back(s.substr(0, end));
        s.remove_prefix(end);
    }
}

} // namespace

std::optional<cut_plan> parse_cut(std::string_view text) {
    const std::vector<std::string_view> w = words_of(text);
    if (w.size() != 3 && !(w.size() == 5 && (w[3] == "unplug" || w[3] == "mute"))) {
        return std::nullopt;
    }
    cut_plan plan;
    std::uint32_t type = 0;
    std::uint32_t ms = 0;
    if (!parse_count(w[0], type) || type > 0x7F || !parse_count(w[1], plan.nth) || plan.nth == 0 ||
        !parse_count(w[2], plan.at) || (w.size() == 5 && !parse_count(w[4], ms))) {
        return std::nullopt;
    }
    plan.type = static_cast<std::uint8_t>(type);
    if (w.size() == 5) {
        plan.after = w[3] == "unplug" ? cut_plan::then::unplug : cut_plan::then::mute;
        plan.ms = ms;
    }
    return plan;
}

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
        cancel_plug_timers();
        unplug();
    } else if (word == "replug" && arg.empty()) {
        cancel_plug_timers();
        replug();
    } else if (word == "cut" && arg == "off") {
        cut_.reset();
    } else if (word == "cut") {
        const std::optional<cut_plan> plan = parse_cut(arg);
        ok = plan.has_value();
        if (ok) {
            cut_ = plan;
            cut_seen_ = 0;
        }
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
