#pragma once
// What the main window's form needs of a toolkit window: put texts into its controls,
// read them back, tick the check box, fill the combo boxes' lists and show a notice.
// All texts are UTF-8. None of these calls raises an event back into the form.
#include "app/main_layout.h"

#include <string>
#include <string_view>

namespace zev1 {

class main_view {
public:
    // A label's, button's or check box's caption; an edit's or combo box's text.
    virtual void set_text(main_control c, std::string_view text) = 0;
    // What the control shows now.
    virtual std::string text(main_control c) const = 0;
    virtual void set_checked(main_control c, bool checked) = 0;
    virtual bool checked(main_control c) const = 0;
    // A combo box's list. set_item_index selects an entry (-1: none) and shows its text.
    virtual void clear_items(main_control c) = 0;
    virtual void append_item(main_control c, std::string_view text) = 0;
    virtual void set_item_index(main_control c, int index) = 0;
    // A notice with one OK button. It returns at once: the main loop goes on while the
    // notice is up.
    virtual void show_notice(std::string_view text) = 0;

protected:
    ~main_view() = default;
};

} // namespace zev1
