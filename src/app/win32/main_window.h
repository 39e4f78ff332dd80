#pragma once
// The main window in Win32: the controls of main_layout.h in a fixed-size window, centred,
// its 10 ms timer and its notices; what they do is the form's (app/main_form.h). Ctrl+T
// and F1 (the program's accelerators) ask for the terminal window and the about box.
#include "app/main_form.h"
#include "app/main_view.h"
#include "app/tick_schedule.h"
#include "app/win32/form_window.h"
#include "app/win32/message_boxes.h"

#include <array>
#include <chrono>
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
// Posted by the tick schedule's wake (from the port's I/O thread, or a click).
inline constexpr UINT tick_wake_message = WM_APP + 2;

class main_window final : public form_window, public main_view {
public:
    main_window(Tlpc1xxx& app, const text_codec& codec, message_box_opener& boxes);
    ~main_window() override;

    TSDIAppForm& form() { return form_; }
    // Reads the language, sets the captions and starts the timer.
    void start();

    std::function<void()> on_show_terminal;
    std::function<void()> on_show_about;

    // The entry a combo box marks for its typed text (-1: none).
    int suggestion(std::size_t row) const { return suggestions_[row]; }

    // main_view
    void clear_items(std::size_t row) override;
    void append_item(std::size_t row, std::string_view text) override;
    void set_item_index(std::size_t row, int index) override;
    void show_suggestion(std::size_t row, int index) override;
    void show_notice(std::string_view text) override;

private:
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_command(WPARAM wparam);
    void on_combo(main_control c, int code);
    void mark_suggestion(std::size_t row);
    void tick();
    // Sets the timer for the next run after wait; woken: the wait was shortened.
    void arm_timer(std::chrono::steady_clock::duration wait, bool woken);

    TSDIAppForm form_;
    message_box_opener& boxes_;
    tick_schedule& schedule_;
    std::array<int, main_control_count> suggestions_{};
    bool timer_running_ = false;
    UINT armed_ms_ = 0; // the timer's period as last set
};

} // namespace zev1::win32
