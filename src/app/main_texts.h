#pragma once
// The main window's texts in its two languages (UTF-8): the five captions that change
// with the language, the hints under the mouse, and the notices, which follow the
// captions' language.
#include "link/dropped_frame_view.h"
#include "memory/wifi_settings.h"

#include <span>
#include <string>
#include <string_view>

namespace zev1 {

struct main_captions {
    std::string communication; // LbComunication
    std::string read;          // btn_config_cti_jer
    std::string automatic;     // btn_automatic_set
    std::string server;        // btn_nast_server (ends with the default endpoint)
    std::string write;         // btn_wifi_write
    // Under the mouse: the shortcuts that no control of the window offers, over the
    // window and over the received-frame counter `test`.
    std::string window_hint;
    std::string counter_hint;
    std::string counter_name; // what a screen reader calls the counter
};

main_captions captions_for(bool german);

// Nothing was sent because texts are too long for their fields: one line a field, named
// as its label names it, with the longest text in bytes it takes.
std::string too_long_notice(bool german, std::span<const wifi_cut> cuts);

// A letter typed into a field that the system's 8-bit code page lacks: the controller
// would get another letter (a best fit, or '?') in its place.
struct unsendable_text {
    std::string_view field; // as wifi_cut names it
    std::string letters;    // the letters the code page lacks (UTF-8)
};

// Nothing was sent because texts hold letters the code page lacks: one line a field,
// named as its label names it, with those letters.
std::string unsendable_notice(bool german, std::span<const unsendable_text> texts);

// The settings never reached the port (no port open, the device unplugged, the send
// queue full), saying why.
std::string wifi_not_written(bool german, drop_reason why);

// A newer version of the program has been fetched in the background (a front end that
// updates itself, the page): it is taken at the next start, or at once with the button.
struct update_notice {
    std::string text;
    std::string take_now; // the button's caption
};

update_notice update_ready_notice(bool german);

} // namespace zev1
