#pragma once
// The main window's controls: kind, place and size in design pixels, tab order and what
// they hold at creation. The captions that depend on the language are set by the form
// when it is created (main_texts.h).
#include "app/form_layout.h"
#include "memory/wifi_settings.h"

#include <array>
#include <cstddef>

namespace zev1 {

// The main window's controls; the value is the control's row in main_controls.
enum class main_control : std::uint8_t {
    LbComunication,
    com_number,
    test,
    stav_portu,
    btn_automatic_set,
    btn_config_cti_jer,
    wifi_ssid_txt,
    wifi_SSID,
    Label1,
    wifi_key,
    Label3,
    wifi_security,
    Label2,
    wifi_IP,
    btn_nast_server,
    btn_wifi_write,
    nemecke_texty,
};

inline constexpr std::size_t main_control_count = 17;

constexpr std::size_t row(main_control c) {
    return static_cast<std::size_t>(c);
}

inline constexpr std::array<control_spec, main_control_count> main_controls = {{
    {"LbComunication", control_kind::label, {8, 5, 0, 0}},
    {"com_number", control_kind::combo, {8, 27, 145, 24}, 8, "com_number"},
    {"test", control_kind::read_only_edit, {159, 27, 73, 24}, 7},
    {"stav_portu", control_kind::label, {9, 57, 0, 0}, -1, "..."},
    {"btn_automatic_set", control_kind::button, {8, 79, 318, 25}, 9},
    {"btn_config_cti_jer", control_kind::button, {8, 121, 318, 25}, 0},
    {"wifi_ssid_txt", control_kind::label, {16, 155, 0, 0}, -1, "SSID"},
    {"wifi_SSID", control_kind::edit, {118, 152, 208, 24}, 2},
    {"Label1", control_kind::label, {16, 185, 0, 0}, -1, "password"},
    {"wifi_key", control_kind::edit, {118, 182, 208, 24}, 4},
    {"Label3", control_kind::label, {16, 213, 0, 0}, -1, "Security type"},
    {"wifi_security", control_kind::combo, {118, 210, 91, 24}, 6, "AUTO", wifi_security_types},
    {"Label2", control_kind::label, {16, 243, 0, 0}, -1, "IP,port "},
    {"wifi_IP", control_kind::edit, {118, 240, 208, 24}, 5},
    {"btn_nast_server", control_kind::button, {8, 270, 318, 25}, 10},
    {"btn_wifi_write", control_kind::button, {8, 301, 318, 25}, 3},
    {"nemecke_texty",
     control_kind::check_box,
     {230, 361, 96, 22},
     1,
     "DEUTSCH",
     {},
     font_role::small_ui},
}};

// The caption over the port list and the label before each field name them.
inline constexpr std::array<label_link, 5> main_labels = {{
    {row(main_control::LbComunication), row(main_control::com_number)},
    {row(main_control::wifi_ssid_txt), row(main_control::wifi_SSID)},
    {row(main_control::Label1), row(main_control::wifi_key)},
    {row(main_control::Label3), row(main_control::wifi_security)},
    {row(main_control::Label2), row(main_control::wifi_IP)},
}};

inline constexpr form_spec main_form_spec = {"SDIAppForm",
                                             "ZEV1 wifi configurator V1.0",
                                             window_kind::fixed_dialog,
                                             337,
                                             391,
                                             main_controls,
                                             {"", 13},
                                             true,
                                             main_labels};

// The title of the application (message boxes carry it).
inline constexpr std::string_view application_title = "ZEV1 wifi configurator";

// The main loop's period.
inline constexpr int tick_ms = 10;

} // namespace zev1
