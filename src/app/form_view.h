#pragma once
// What every form needs of its toolkit window: the controls of its table, addressed by
// their row, and the window's caption. Each toolkit implements it once, in the base of
// its windows; the window views (main_view.h, progress_form.h, terminal_form.h) add what
// only their window has. Texts are UTF-8.
//
// The contract every toolkit keeps:
//  - none of these calls raises an event back into the form (no click, change or
//    focus event comes from a text or tick the program sets);
//  - a row is always a row of the window's own table;
//  - set_text on a button shows the caption in the control's font, or in the largest
//    smaller one that fits (fitting_caption_pixels); an auto-sized label grows or shrinks
//    to its caption; a combo box's text is its edit text, whatever entry is selected.
#include "app/form_layout.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace zev1 {

class form_controls {
public:
    // A label's, button's or check box's caption; an edit's or combo box's text.
    virtual void set_text(std::size_t row, std::string_view text) = 0;
    // What the control shows now (a combo box: its edit text).
    virtual std::string text(std::size_t row) const = 0;
    // A check box's tick; other controls ignore it and answer false.
    virtual void set_checked(std::size_t row, bool checked) = 0;
    virtual bool checked(std::size_t row) const = 0;
    // Moves a control inside the client area (design pixels).
    virtual void place(std::size_t row, const design_box& box) = 0;
    virtual void set_caption(std::string_view text) = 0;
    // What the mouse shows over a control, or over the window itself where no control
    // is; an empty text shows nothing. A later call replaces the earlier text.
    virtual void set_hint(std::size_t row, std::string_view text) = 0;
    virtual void set_window_hint(std::string_view text) = 0;
    // The name a screen reader gives a control that no label names (form_spec::labels);
    // a labelled control's name is its label's caption, whatever the language.
    virtual void set_accessible_name(std::size_t row, std::string_view text) = 0;

protected:
    ~form_controls() = default;
};

} // namespace zev1
