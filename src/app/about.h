#pragma once
// The about box: the program's name, its version and what it is for, and an OK button.
// Its texts come from about_texts(), so the version shown is the program's own.
#include "app/form_layout.h"

#include <array>
#include <cstddef>
#include <string>

namespace zev1 {

enum class about_control : std::uint8_t { ProductName, Version, Comments, OKButton };

inline constexpr std::size_t about_control_count = 4;

constexpr std::size_t row(about_control c) {
    return static_cast<std::size_t>(c);
}

inline constexpr std::array<control_spec, about_control_count> about_controls = {{
    {"ProductName",
     control_kind::label,
     {8, 16, 282, 28},
     -1,
     "",
     {},
     font_role::heading,
     text_align::centre},
    {"Version",
     control_kind::label,
     {8, 52, 282, 20},
     -1,
     "",
     {},
     font_role::window,
     text_align::centre},
    {"Comments",
     control_kind::wrapped_label,
     {8, 80, 282, 36},
     -1,
     "",
     {},
     font_role::window,
     text_align::centre},
    {"OKButton", control_kind::button, {111, 130, 75, 25}, 0, "OK"},
}};

inline constexpr form_spec about_form_spec = {
    "AboutBox", "About", window_kind::fixed_dialog, 298, 170, about_controls, {}};

// The program's version as it is shown ("1.0").
std::string application_version();

// The about box's texts (UTF-8), in the order of about_control.
std::array<std::string, 3> about_texts();

} // namespace zev1
