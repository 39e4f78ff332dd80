#pragma once
// Composition of the terminal's lines, free of any window: the packet line of one frame
// and the two shapes of a timestamped text line. Lines are kept whole however long.
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zev1 {

// The terminal's five view options, read when each frame is logged.
struct view_options {
    bool txt = true;           // "Txt": name, a blank and the text; off: the name alone
    bool hex = false;          // "Hex": hex dump of the frame ahead of the name
    bool headers = false;      // "Headers": dump the whole frame; off: bytes 21 .. length-3
    bool receive_only = true;  // "Receive-only": sent frames give no line
    bool standard_off = false; // "Standard OFF": types 1, 2, 11, 12, 13, 18, 19, 20 give no line
};

// The packet line for one frame, or nothing when the options leave the frame out.
// "--> " marks a received frame, "<-- " a sent one.
std::optional<std::string> compose_packet_line(std::span<const std::uint8_t> frame, bool received,
                                               const view_options& options,
                                               std::string_view name, std::string_view text);

// Source of the current time for text lines (injectable so tests pin it).
using clock_source = std::function<std::time_t()>;
clock_source system_clock_source();

// "%d.%m.%Y %H:%M:%S    " in local time (four blanks at the end).
std::string format_log_time(std::time_t t);
// The text view's line: the formatted time, one more blank, the text.
std::string text_view_line(std::time_t t, std::string_view text);
// The log file's line: the formatted time, the text, a newline.
std::string log_file_line(std::time_t t, std::string_view text);
// "%Y-%m-%d-%H-%M-%S.log" in local time.
std::string log_file_name(std::time_t t);

} // namespace zev1
