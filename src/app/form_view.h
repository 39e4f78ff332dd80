#pragma once
// What every form needs of its toolkit window: the controls of its table, addressed by
// their row, and the window's caption. Each toolkit implements it once, in the base of
// its windows; the window views (main_view.h, progress_form.h, terminal_form.h) add what
// only their window has. Texts are UTF-8; none of these calls raises an event back into
// the form.
#include "app/form_layout.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace zev1 {

class form_controls {
public:
    // A label's, button's or check box's caption; an edit's or combo box's text.
    virtual void set_text(std::size_t row, std::string_view text) = 0;
    // What the control shows now.
    virtual std::string text(std::size_t row) const = 0;
    virtual void set_checked(std::size_t row, bool checked) = 0;
    virtual bool checked(std::size_t row) const = 0;
    // Moves a control inside the client area (design pixels).
    virtual void place(std::size_t row, const design_box& box) = 0;
    virtual void set_caption(std::string_view text) = 0;

protected:
    ~form_controls() = default;
};

// The declarations of form_controls' functions in a toolkit's window base, written once.
#define ZEV1_FORM_CONTROLS_OVERRIDES                                                               \
    void set_text(std::size_t row, std::string_view text) override;                                \
    std::string text(std::size_t row) const override;                                              \
    void set_checked(std::size_t row, bool checked) override;                                      \
    bool checked(std::size_t row) const override;                                                  \
    void place(std::size_t row, const design_box& box) override;                                   \
    void set_caption(std::string_view text) override;

} // namespace zev1
