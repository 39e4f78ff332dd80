#include "app/web/web_windows.h"

#include "app/form_layout.h"
#include "settings/utf8.h"

#include <cstdlib>
#include <emscripten/emscripten.h>
#include <memory>

namespace zev1::web {

namespace {

// clang-format off
EM_JS(void, js_set_text, (int form, int row, const char* text), {
    Zev1Page.setText(form, row, UTF8ToString(text));
});
EM_JS(char*, js_text, (int form, int row), {
    const text = Zev1Page.text(form, row);
    const size = lengthBytesUTF8(text) + 1;
    const copy = _malloc(size);
    stringToUTF8(text, copy, size);
    return copy;
});
EM_JS(void, js_set_checked, (int form, int row, int checked), {
    Zev1Page.setChecked(form, row, checked !== 0);
});
EM_JS(int, js_checked, (int form, int row), { return Zev1Page.checked(form, row) ? 1 : 0; });
EM_JS(void, js_place, (int form, int row, int left, int top, int width, int height), {
    Zev1Page.place(form, row, left, top, width, height);
});
EM_JS(void, js_set_caption, (int form, const char* text), {
    Zev1Page.setCaption(form, UTF8ToString(text));
});
EM_JS(void, js_set_hint, (int form, int row, const char* text), {
    Zev1Page.setHint(form, row, UTF8ToString(text));
});
EM_JS(void, js_set_accessible_name, (int form, int row, const char* text), {
    Zev1Page.setName(form, row, UTF8ToString(text));
});
EM_JS(void, js_clear_items, (int form, int row), { Zev1Page.clearItems(form, row); });
EM_JS(void, js_set_suggestion, (int form, int row, int index), {
    Zev1Page.setSuggestion(form, row, index);
});
EM_JS(void, js_drop_first_lines, (int form, int row, int count), {
    Zev1Page.dropFirstLines(form, row, count);
});
EM_JS(void, js_append_item, (int form, int row, const char* text), {
    Zev1Page.appendItem(form, row, UTF8ToString(text));
});
EM_JS(void, js_set_item_index, (int form, int row, int index), {
    Zev1Page.setItemIndex(form, row, index);
});
EM_JS(void, js_message_box, (const char* text), { Zev1Page.messageBox(UTF8ToString(text)); });
EM_JS(void, js_set_visible, (int form, int visible), { Zev1Page.setVisible(form, visible !== 0); });
EM_JS(void, js_set_bar, (int form, int row, int position), {
    Zev1Page.setBar(form, row, position);
});
EM_JS(void, js_append_line, (int form, int row, const char* text), {
    Zev1Page.appendLine(form, row, UTF8ToString(text));
});
EM_JS(int, js_caption_width, (int pixels), { return Zev1Page.captionWidth(pixels); });
// clang-format on

int as_int(std::size_t row) {
    return static_cast<int>(row);
}

std::string c_text(std::string_view text) {
    return std::string(text); // NUL-terminated for the JavaScript side
}

} // namespace

std::string utf8_codec::to_window(std::string_view local) const {
    std::string out;
    out.reserve(local.size());
    std::size_t i = 0;
    while (i < local.size()) {
        const std::size_t n = utf8_sequence_length(local.substr(i));
        if (n > 0) {
            out.append(local.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD"; // U+FFFD
            ++i;
        }
    }
    return out;
}

void web_form::set_text(std::size_t row, std::string_view text) {
    js_set_text(id_, as_int(row), c_text(text).c_str());
}

std::string web_form::text(std::size_t row) const {
    const std::unique_ptr<char, decltype(&std::free)> copy(js_text(id_, as_int(row)), &std::free);
    return copy ? std::string(copy.get()) : std::string();
}

void web_form::set_checked(std::size_t row, bool checked) {
    js_set_checked(id_, as_int(row), checked ? 1 : 0);
}

bool web_form::checked(std::size_t row) const {
    return js_checked(id_, as_int(row)) != 0;
}

void web_form::place(std::size_t row, const design_box& box) {
    js_place(id_, as_int(row), box.left, box.top, box.width, box.height);
}

void web_form::set_caption(std::string_view text) {
    js_set_caption(id_, c_text(text).c_str());
}

void web_form::set_hint(std::size_t row, std::string_view text) {
    js_set_hint(id_, as_int(row), c_text(text).c_str());
}

void web_form::set_accessible_name(std::size_t row, std::string_view text) {
    js_set_accessible_name(id_, as_int(row), c_text(text).c_str());
}

void web_form::set_window_hint(std::string_view text) {
    js_set_hint(id_, -1, c_text(text).c_str());
}

void web_main_window::show_suggestion(std::size_t row, int index) {
    js_set_suggestion(id(), as_int(row), index);
}

void web_main_window::clear_items(std::size_t row) {
    js_clear_items(id(), as_int(row));
}

void web_main_window::append_item(std::size_t row, std::string_view text) {
    js_append_item(id(), as_int(row), c_text(text).c_str());
}

void web_main_window::set_item_index(std::size_t row, int index) {
    js_set_item_index(id(), as_int(row), index);
}

void web_box_opener::open_box(box_kind, std::string_view text) {
    js_message_box(c_text(text).c_str());
}

void web_main_window::show_notice(std::string_view text) {
    boxes_.show(box_kind::notice, std::string(text));
}

void web_progress_window::set_visible(bool visible) {
    js_set_visible(id(), visible ? 1 : 0);
}

void web_progress_window::set_bar(int position) {
    bar_ = position;
    js_set_bar(id(), as_int(row(progress_control::Bar)), position);
}

void web_progress_window::show_error(std::string_view text) {
    boxes_.show(box_kind::error, std::string(text));
}

void web_terminal_window::append_line(std::size_t memo, std::string_view line) {
    js_append_line(id(), as_int(memo), c_text(line).c_str());
}

void web_terminal_window::drop_first_lines(std::size_t memo, int count) {
    js_drop_first_lines(id(), as_int(memo), count);
}

} // namespace zev1::web

extern "C" {

// The pixel size a button's caption is shown in, by the windows' one rule
// (fitting_caption_pixels): width is the button's (design pixels), pixels its font's size;
// the page measures the caption it is fitting at every size the rule tries.
EMSCRIPTEN_KEEPALIVE int zev1_caption_pixels(int width, int pixels) {
    return zev1::fitting_caption_pixels(width - zev1::caption_margin, pixels,
                                        zev1::smallest_caption_pixels,
                                        [](int size) { return zev1::web::js_caption_width(size); });
}

} // extern "C"
