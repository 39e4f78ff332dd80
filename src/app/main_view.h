#pragma once
// What the main window's form needs of a toolkit window beyond its controls' texts: fill
// the combo boxes' lists and show a notice. None of these calls raises an event back
// into the form.
#include "app/form_view.h"

#include <string_view>

namespace zev1 {

class main_view : public virtual form_controls {
public:
    // A combo box's list. set_item_index selects an entry (-1: none) and shows its text.
    virtual void clear_items(std::size_t row) = 0;
    virtual void append_item(std::size_t row, std::string_view text) = 0;
    virtual void set_item_index(std::size_t row, int index) = 0;
    // A notice with one OK button. It returns at once: the main loop goes on while the
    // notice is up.
    virtual void show_notice(std::string_view text) = 0;

protected:
    ~main_view() = default;
};

// The declarations of main_view's own functions in a toolkit's main window.
#define ZEV1_MAIN_VIEW_OVERRIDES                                                                   \
    void clear_items(std::size_t row) override;                                                    \
    void append_item(std::size_t row, std::string_view text) override;                             \
    void set_item_index(std::size_t row, int index) override;                                      \
    void show_notice(std::string_view text) override;

} // namespace zev1
