// The layout tables of the four windows as one JSON text, from which the page builds its
// controls: the same names, kinds, places (design pixels), tab order, texts and fonts as
// the desktop windows, and which label names which control ([label row, control row]).
#include "app/about.h"
#include "app/main_layout.h"
#include "app/progress_layout.h"
#include "app/terminal_layout.h"
#include "app/web/web_windows.h"

#include <array>
#include <cstdio>
#include <emscripten/emscripten.h>
#include <string>
#include <string_view>

namespace {

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20) {
            std::array<char, 8> escape{};
            std::snprintf(escape.data(), escape.size(), "\\u%04x", b);
            out += escape.data();
        } else {
            out += c;
        }
    }
    return out + "\"";
}

constexpr std::array<std::string_view, 9> kind_names = {"label", "edit",         "read_only_edit",
                                                        "combo", "button",       "check_box",
                                                        "memo",  "progress_bar", "wrapped_label"};
constexpr std::array<std::string_view, 6> font_names = {"window", "small_ui",  "large",
                                                        "medium", "monospace", "heading"};
constexpr std::array<std::string_view, 3> align_names = {"left", "centre", "right"};
constexpr std::array<std::string_view, 4> window_kind_names = {"fixed_dialog", "dialog", "tool",
                                                               "sizeable"};

// A window of the page: the number the page and the forms address it by, and the name
// of its element (data-window).
struct page_window {
    zev1::web::web_window_id id;
    std::string_view element;
    const zev1::form_spec& form;
};

std::string form_json(const page_window& window) {
    const zev1::form_spec& form = window.form;
    std::string out = "{\"id\":" + std::to_string(static_cast<int>(window.id)) +
                      ",\"window\":" + quoted(window.element) + ",\"name\":" + quoted(form.name) +
                      ",\"caption\":" + quoted(form.caption) + ",\"kind\":" +
                      quoted(window_kind_names[static_cast<std::size_t>(form.kind)]) +
                      ",\"width\":" + std::to_string(form.client_width) +
                      ",\"height\":" + std::to_string(form.client_height) +
                      ",\"fontPixels\":" + std::to_string(form.font.pixels) + ",\"controls\":[";
    bool first = true;
    for (const zev1::control_spec& c : form.controls) {
        out += first ? "" : ",";
        first = false;
        out += "{\"name\":" + quoted(c.name) +
               ",\"kind\":" + quoted(kind_names[static_cast<std::size_t>(c.kind)]) + ",\"box\":[" +
               std::to_string(c.place.left) + "," + std::to_string(c.place.top) + "," +
               std::to_string(c.place.width) + "," + std::to_string(c.place.height) +
               "],\"tab\":" + std::to_string(c.tab) + ",\"initial\":" + quoted(c.initial) +
               ",\"font\":" + quoted(font_names[static_cast<std::size_t>(c.font)]) +
               ",\"align\":" + quoted(align_names[static_cast<std::size_t>(c.align)]) +
               ",\"items\":[";
        bool first_item = true;
        for (const std::string_view item : c.items) {
            out += (first_item ? "" : ",") + quoted(item);
            first_item = false;
        }
        out += "]}";
    }
    out += "],\"labels\":[";
    first = true;
    for (const zev1::label_link& link : form.labels) {
        out += first ? "" : ",";
        first = false;
        out += "[" + std::to_string(link.label) + "," + std::to_string(link.control) + "]";
    }
    return out + "]}";
}

} // namespace

extern "C" {

// The page's windows, each with its id and element name, and the title.
EMSCRIPTEN_KEEPALIVE const char* zev1_layout_json() {
    using zev1::web::web_window_id;
    static const std::string json = [] {
        const std::array<page_window, 4> windows = {{
            {web_window_id::main, "main", zev1::main_form_spec},
            {web_window_id::progress, "progress", zev1::progress_form_spec},
            {web_window_id::terminal, "terminal", zev1::terminal_form_spec},
            {web_window_id::about, "about", zev1::about_form_spec},
        }};
        std::string out = "{\"windows\":[";
        for (const page_window& window : windows) {
            out += (window.id == web_window_id::main ? "" : ",") + form_json(window);
        }
        return out + "],\"title\":" + quoted(zev1::application_title) + "}";
    }();
    return json.c_str();
}

} // extern "C"
