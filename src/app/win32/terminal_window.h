#pragma once
// The terminal window in Win32: the controls of terminal_layout.h in a resizable window at
// the top left of the screen, created hidden; Ctrl+T in the main window shows it, its close
// box hides it again. What the controls do is the form's (app/terminal_form.h).
#include "app/terminal_form.h"
#include "app/win32/form_window.h"

#include <string_view>

namespace zev1::win32 {

class terminal_window final : public form_window, public terminal_window_view {
public:
    terminal_window(Tini_file& settings, const text_codec& codec, clock_source clock);

    Tlog_win& form() { return form_; }
    // Shows the window (maximised when the settings ask for it, restored when it was
    // minimised) and gives it the focus.
    void bring_to_front();

    // terminal_window_view
    void append_line(std::size_t memo, std::string_view line) override;
    void drop_first_lines(std::size_t memo, int count) override;
    screen_rect outer_geometry() const override;
    void set_outer_geometry(const screen_rect& r) override;
    bool maximised() const override;
    void set_maximised(bool maximised) override;

private:
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) override;

    Tlog_win form_;
    bool show_maximised_ = false; // asked for while hidden: applies when it is shown
};

} // namespace zev1::win32
