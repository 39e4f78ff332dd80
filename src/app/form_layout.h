#pragma once
// The windows are laid out in design pixels (96 dots per inch) and look the same under
// every toolkit, so their controls are described once, as tables: each toolkit walks a
// table and creates its own widget for every row. A toolkit that scales for a finer
// screen multiplies the design pixels; the tables never change.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zev1 {

enum class control_kind : std::uint8_t {
    label,          // static text, sized to its caption when width and height are 0
    edit,           // one-line text field
    read_only_edit, // one-line text field that only the program writes
    combo,          // editable combo box: a text field with a drop-down list
    button,
    check_box,
    memo,          // multi-line read-only text with both scroll bars
    progress_bar,  // smooth, 0 to 100
    wrapped_label, // static text broken into lines to fit its box
};

enum class text_align : std::uint8_t { left, centre, right };

// Which font a control shows its text in; each toolkit maps the roles to its fonts.
enum class font_role : std::uint8_t {
    window,    // the window's own font
    small_ui,  // "MS Sans Serif", 11 pixels (the language box)
    large,     // Tahoma, 27 pixels (the progress window's description)
    medium,    // Tahoma, 19 pixels (the progress window's percentage)
    monospace, // Courier New, 8 points (the packet view)
    heading,   // the window's font, bold and larger (the about box's product name)
};

// A rectangle in design pixels, relative to the window's client area.
struct design_box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const design_box&, const design_box&) = default;
};

struct control_spec {
    std::string_view name{}; // the control's name, also the name tests find it by
    control_kind kind = control_kind::label;
    design_box place;
    int tab = -1;                              // position in the tab order; -1: takes no focus
    std::string_view initial{};                // caption or content at creation (UTF-8)
    std::span<const std::string_view> items{}; // a combo box's list
    font_role font = font_role::window;
    text_align align = text_align::left;
};

// Window kinds the toolkits know how to frame.
enum class window_kind : std::uint8_t {
    fixed_dialog, // caption, close and minimise boxes, single border, not resizable (main window)
    dialog,       // caption and close box, single border, not resizable (about box)
    tool,         // tool-window caption without a close box, always on top, not modal
    sizeable,     // caption, close box, resizable (terminal)
};

// A font by face and height in design pixels. An empty face is the toolkit's own user
// interface font (the message font on Windows), which has every letter of the captions.
struct font_spec {
    std::string_view face{};
    int pixels = 0; // 0: the toolkit's default height
    bool bold = false;
    bool fixed_pitch = false; // falls back to the toolkit's fixed-pitch font
};

// A label that names a control for a screen reader: the label stands right before the
// control in the window, and its caption is the control's name in every language.
struct label_link {
    std::size_t label = 0;   // the label's row
    std::size_t control = 0; // the row of the control it names
};

struct form_spec {
    std::string_view name{};    // the window's name
    std::string_view caption{}; // caption at creation (UTF-8)
    window_kind kind = window_kind::fixed_dialog;
    int client_width = 0;
    int client_height = 0;
    std::span<const control_spec> controls{};
    font_spec font; // the window's own font
    // Whether showing the window, or a click into it, gives it the focus. A window that
    // takes none leaves the keys with the window that had them, so a Space or Enter
    // meant for the main window never presses one of its buttons.
    bool takes_focus = true;
    std::span<const label_link> labels{};
};

// A button shows its caption in its font when the caption fits into the button's width
// less caption_margin, else in the largest smaller pixel size that fits, but never below
// smallest_caption_pixels (design pixels; a toolkit that scales passes scaled values).
inline constexpr int caption_margin = 8;
inline constexpr int smallest_caption_pixels = 8;

// The pixel size to show a caption in: pixels when width_at(pixels) fits into room, else
// the largest smaller size down to smallest whose width fits, else smallest.
int fitting_caption_pixels(int room, int pixels, int smallest,
                           const std::function<int(int pixels)>& width_at);

// The font of a role in a window.
font_spec font_of(font_role role, const form_spec& form);

// Indices of the controls that take the focus, in their tab order.
std::vector<std::size_t> tab_sequence(std::span<const control_spec> controls);

// The row of the control named name, if the table has one.
std::optional<std::size_t> find_control(std::span<const control_spec> controls,
                                        std::string_view name);

// The row of the label that names the control at row control, if one does.
std::optional<std::size_t> label_of(const form_spec& form, std::size_t control);

// Whether a label is sized to its caption rather than given a size.
constexpr bool auto_sized(const control_spec& c) {
    return c.place.width == 0 && c.place.height == 0;
}

} // namespace zev1
