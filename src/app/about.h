#pragma once
// The about box: the program's name, its version and what it is for, the settings file
// in use, and an OK button. Its texts come from about_texts(), so the version shown is
// the program's own; the toolkits set them each time the box is shown, in the main
// window's language of that moment. The caption "About" and the "OK" button stay.
#include "app/form_layout.h"

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>

namespace zev1 {

enum class about_control : std::uint8_t {
    ProductName,
    Version,
    Comments,
    SettingsFile,
    SettingsCaption,
    OKButton
};

inline constexpr std::size_t about_control_count = 6;

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
    {"SettingsFile",
     control_kind::label,
     {8, 138, 282, 18},
     -1,
     "",
     {},
     font_role::window,
     text_align::centre},
    {"SettingsCaption",
     control_kind::label,
     {8, 120, 282, 18},
     -1,
     "",
     {},
     font_role::window,
     text_align::centre},
    {"OKButton", control_kind::button, {111, 164, 75, 25}, 0, "OK"},
}};

inline constexpr form_spec about_form_spec = {
    "AboutBox", "About", window_kind::dialog, 298, 200, about_controls, {}};

// The program's version as it is shown ("1.0+62.g1a2b3c4"): version().
std::string application_version();

// The about box's texts (UTF-8) in German or Czech, in the order of about_control up to
// SettingsCaption: the settings file's path is shortened in the middle to what fits the
// box.
std::array<std::string, 5> about_texts(const std::filesystem::path& settings_file, bool german);

// text, cut after its first third to at most max_chars characters (UTF-8 code points, "…"
// counting as one), whole characters only.
std::string shortened_in_the_middle(const std::string& text, std::size_t max_chars);

} // namespace zev1
