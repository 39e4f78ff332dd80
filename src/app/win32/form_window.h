#pragma once
// One top-level Win32 window built from its layout table (app/form_layout.h): the frame its
// kind asks for, a control (CreateWindowExW) for every row at the row's place, in the
// table's tab order (each label right before the control it names, which is how a screen
// reader finds a field's name), with the fonts of the table's roles, all scaled to the dots per
// inch of the monitor the window is on and laid out again when that changes. The windows derive
// from it and handle their messages and their controls' notifications in on_message; texts go in
// and out as UTF-8.
#include "app/form_layout.h"
#include "app/form_view.h"
#include "app/win32/win_handles.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

namespace zev1::win32 {

// The first control's identifier; a control's identifier is this plus its row.
inline constexpr int first_control_id = 1000;

class form_window : public virtual form_controls {
public:
    form_window(const form_spec& form, HWND owner);
    virtual ~form_window();
    form_window(const form_window&) = delete;
    form_window& operator=(const form_window&) = delete;

    HWND hwnd() const { return hwnd_.get(); }
    const form_spec& spec() const { return form_; }
    HWND control(std::size_t row) const { return controls_[row]; }
    // The row of a control of this window, from its handle.
    std::optional<std::size_t> row_of(HWND control) const;
    int dpi() const { return dpi_; }

    // form_controls
    void set_text(std::size_t row, std::string_view text) override;
    std::string text(std::size_t row) const override;
    void set_checked(std::size_t row, bool checked) override;
    bool checked(std::size_t row) const override;
    void place(std::size_t row, const design_box& box) override;
    void set_caption(std::string_view text) override;
    void set_hint(std::size_t row, std::string_view text) override;
    void set_window_hint(std::string_view text) override;
    void set_accessible_name(std::size_t row, std::string_view text) override;
    // The name set for a control (empty: its label's caption names it).
    const std::string& accessible_name(std::size_t row) const { return names_[row]; }
    // A hint shown under the mouse over one of the window's controls or over the window
    // itself (target hwnd()), replacing an earlier one; hints() is the tooltip window that
    // shows them.
    void set_hint(HWND target, std::string_view text);
    HWND hints() const { return hints_; }
    // The pixel height of the font a control shows its text in (device pixels).
    int font_pixels(std::size_t row) const;
    // The client area in design pixels.
    design_box client_design() const;
    // Puts the window in the middle of the work area of the monitor it is on.
    void centre_on_screen();

protected:
    // Messages reach on_message once the derived window calls start_messages() (at the
    // end of its constructor); what arrives before goes to the default handling.
    virtual LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam);
    void start_messages() { dispatching_ = true; }
    // The control a WM_COMMAND names, if it is one of this window's.
    std::optional<std::size_t> command_row(WPARAM wparam) const;

private:
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void create_controls();
    HFONT font_for(font_role role);
    void apply_fonts();
    void layout_controls();
    void fit_to_caption(std::size_t row);
    void on_dpi_changed(int dpi, const RECT& suggested);

    const form_spec& form_;
    unique_hwnd hwnd_;
    int dpi_ = 96;
    bool dispatching_ = false;
    std::vector<HWND> controls_; // destroyed with the window
    std::vector<design_box> places_;
    std::vector<std::string> names_;
    std::array<unique_hfont, 6> role_fonts_{};
    std::vector<unique_hfont> fitted_fonts_; // a button's smaller font, when it has one
    HWND hints_ = nullptr;                   // owned by the window, destroyed with it
    HWND last_focus_ = nullptr;              // the control that had the focus when left
};

// The window's style and extended style for its kind.
DWORD style_of(window_kind kind);
DWORD ex_style_of(window_kind kind);

} // namespace zev1::win32
