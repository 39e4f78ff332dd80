#pragma once
// The progress window's controls in design pixels. The percentage is right-aligned in a
// box that ends just before the "%" sign, so the number grows to the left.
#include "app/form_layout.h"

#include <array>
#include <cstddef>

namespace zev1 {

enum class progress_control : std::uint8_t { text, Bar, Procenta, staticky_text_procent, Cancel };

inline constexpr std::size_t progress_control_count = 5;

constexpr std::size_t row(progress_control c) {
    return static_cast<std::size_t>(c);
}

inline constexpr std::array<control_spec, progress_control_count> progress_controls = {{
    {"text",
     control_kind::label,
     {8, 8, 448, 36},
     -1,
     "",
     {},
     font_role::large,
     text_align::centre},
    {"Bar", control_kind::progress_bar, {8, 47, 385, 25}},
    {"Procenta",
     control_kind::label,
     {397, 47, 36, 25},
     -1,
     "0",
     {},
     font_role::medium,
     text_align::right},
    {"staticky_text_procent",
     control_kind::label,
     {435, 47, 24, 25},
     -1,
     "%",
     {},
     font_role::medium},
    {"Cancel", control_kind::button, {198, 88, 75, 25}, 0, "Cancel"},
}};

// The bar is named by what runs (the description above it).
inline constexpr std::array<label_link, 1> progress_labels = {{
    {row(progress_control::text), row(progress_control::Bar)},
}};

inline constexpr form_spec progress_form_spec = {
    "progress_win", "Progress", window_kind::tool, 464, 124, progress_controls,
    {"Tahoma", 11}, false, // the main window keeps the keys while a transfer runs
    progress_labels};

} // namespace zev1
