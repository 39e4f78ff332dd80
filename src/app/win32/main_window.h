#pragma once
// The main window in Win32: the controls of main_layout.h in a fixed-size window, centred,
// its 10 ms timer and its notices; what they do is the form's (app/main_form.h). Ctrl+T
// and F1 (the program's accelerators) ask for the terminal window and the about box.
#include "app/main_form.h"
#include "app/main_view.h"
#include "app/win32/form_window.h"
#include "app/win32/message_boxes.h"

#include <functional>
#include <string>
#include <string_view>

namespace zev1 {
class Tlpc1xxx;
}

namespace zev1::win32 {

// The accelerators' commands.
inline constexpr WORD show_terminal_command = 100;
inline constexpr WORD show_about_command = 101;

class main_window final : public form_window, public main_view {
public:
    main_window(Tlpc1xxx& app, const text_codec& codec, message_boxes& boxes);
    ~main_window() override;

    TSDIAppForm& form() { return form_; }
    // Reads the language, sets the captions and starts the timer.
    void start();

    std::function<void()> on_show_terminal;
    std::function<void()> on_show_about;

    // main_view
    ZEV1_MAIN_VIEW_OVERRIDES

private:
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_command(WPARAM wparam);
    void on_combo(main_control c, int code);
    void show_suggestion(main_control c);
    void tick();

    TSDIAppForm form_;
    message_boxes& boxes_;
    bool timer_running_ = false;
};

} // namespace zev1::win32
