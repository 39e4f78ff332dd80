#pragma once
// The terminal window's controls in design pixels: the strip of check boxes and the log
// button above the two memos, which the form lays out to fill the window.
#include "app/form_layout.h"

#include <array>
#include <cstddef>

namespace zev1 {

enum class terminal_control : std::uint8_t {
    log,
    txt,
    psat_txt,
    psat_hex,
    psat_hlavicky,
    jen_prijem,
    StandardOFF,
    NewLog,
};

inline constexpr std::size_t terminal_control_count = 8;

constexpr std::size_t row(terminal_control c) {
    return static_cast<std::size_t>(c);
}

inline constexpr std::array<control_spec, terminal_control_count> terminal_controls = {{
    {"log", control_kind::memo, {0, 32, 699, 402}, 6, "", {}, font_role::monospace},
    {"txt", control_kind::memo, {0, 432, 699, 217}, 7},
    {"psat_txt", control_kind::check_box, {8, 8, 58, 17}, 0, "Txt"},
    {"psat_hex", control_kind::check_box, {72, 9, 66, 17}, 1, "Hex"},
    {"psat_hlavicky", control_kind::check_box, {144, 9, 89, 17}, 2, "Headers"},
    {"jen_prijem", control_kind::check_box, {239, 9, 97, 17}, 3, "Receive Only"},
    {"StandardOFF", control_kind::check_box, {342, 9, 97, 17}, 4, "Standard OFF"},
    {"NewLog", control_kind::button, {456, 1, 75, 25}, 5, "START Log"},
}};

inline constexpr form_spec terminal_form_spec = {
    "log_win", "Terminal", window_kind::sizeable, 702, 659, terminal_controls, {"Tahoma", 11}};

} // namespace zev1
