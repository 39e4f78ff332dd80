#include "app/win32/main_window.h"

#include "app/application.h"
#include "app/win32/win_text.h"

#include <algorithm>
#include <commctrl.h>

namespace zev1::win32 {

namespace {

constexpr UINT_PTR timer_id = 1;

HWND list_of(HWND combo) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    return ::GetComboBoxInfo(combo, &info) ? info.hwndList : nullptr;
}

} // namespace

main_window::main_window(Tlpc1xxx& app, const text_codec& codec, message_box_opener& boxes)
    : form_window(main_form_spec, nullptr), form_(*this, app, codec), boxes_(boxes),
      schedule_(app.schedule()) {
    suggestions_.fill(-1);
    boxes_.set_owner(hwnd());
    centre_on_screen();
    start_messages();
}

main_window::~main_window() {
    schedule_.set_wake(nullptr);
    if (timer_running_ && hwnd() != nullptr) {
        ::KillTimer(hwnd(), timer_id);
    }
}

void main_window::start() {
    form_.FormCreate();
    // The port's I/O thread (or a click) ends a wait that lets ticks pass.
    HWND window = hwnd();
    schedule_.set_wake([window] { ::PostMessageW(window, tick_wake_message, 0, 0); });
    arm_timer(schedule_.wait(), false);
}

void main_window::tick() {
    // The progress window's pump, shown by a tick that has taken longer than a period (the
    // window's own opening, a port slow to close), dispatches WM_TIMER: that tick does not
    // run inside this one.
    const int ticks = schedule_.begin_run();
    if (ticks == 0) {
        return;
    }
    // A box asked for during the tick opens after it (app/message_boxes.h).
    boxes_.queue().enter_tick();
    form_.Timer1Timer(ticks);
    boxes_.queue().leave_tick();
    if (timer_running_) {
        arm_timer(schedule_.end_run(), false);
    }
}

void main_window::arm_timer(std::chrono::steady_clock::duration wait, bool woken) {
    // The period the schedule says: a repeating 10 ms timer while every tick runs (set
    // once, so the time a tick takes does not push the next one back), the whole wait
    // while ticks are let pass. The system makes a shorter wait at least 10 ms, so a
    // tick woken early can run up to a tick after its deadline, still counted as its own.
    UINT ms = tick_ms;
    if (woken || schedule_.planned_ticks() > 1) {
        ms = static_cast<UINT>(std::max(tick_schedule::to_ms(wait), 1));
    }
    if (ms == armed_ms_ && !woken && ms == static_cast<UINT>(tick_ms)) {
        return;
    }
    timer_running_ = ::SetTimer(hwnd(), timer_id, ms, nullptr) != 0;
    armed_ms_ = timer_running_ ? ms : 0;
}

LRESULT main_window::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_TIMER:
        if (wparam == timer_id) {
            tick();
            return 0;
        }
        break;
    case WM_COMMAND:
        on_command(wparam);
        return 0;
    case box_waiting_message:
        boxes_.open_waiting();
        return 0;
    case tick_wake_message:
        if (const auto wait = schedule_.woken(); wait && timer_running_) {
            arm_timer(*wait, true);
        }
        return 0;
    case WM_CLOSE:
        ::KillTimer(hwnd(), timer_id);
        timer_running_ = false;
        schedule_.set_wake(nullptr);
        ::DestroyWindow(hwnd());
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return form_window::on_message(message, wparam, lparam);
}

void main_window::on_command(WPARAM wparam) {
    if (LOWORD(wparam) == show_terminal_command && on_show_terminal) {
        on_show_terminal();
        return;
    }
    if (LOWORD(wparam) == show_about_command && on_show_about) {
        on_show_about();
        return;
    }
    const auto row = command_row(wparam);
    if (!row) {
        return;
    }
    const auto c = static_cast<main_control>(*row);
    const control_kind kind = main_controls[*row].kind;
    if ((kind == control_kind::button || kind == control_kind::check_box) &&
        HIWORD(wparam) == BN_CLICKED) {
        form_.clicked(c);
    } else if (kind == control_kind::combo) {
        on_combo(c, HIWORD(wparam));
    }
}

void main_window::on_combo(main_control c, int code) {
    HWND combo = control(row(c));
    const auto index = static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0));
    switch (code) {
    case CBN_SELENDOK:
        // The user took an entry from the open list (mouse or Enter).
        form_.chosen(c, index);
        break;
    case CBN_SELCHANGE:
        // With the list closed, the arrow keys choose an entry at once.
        if (::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) == FALSE) {
            form_.chosen(c, index);
        }
        break;
    case CBN_EDITCHANGE:
        form_.edited(c);
        break;
    case CBN_DROPDOWN:
        mark_suggestion(row(c));
        break;
    case CBN_KILLFOCUS:
        form_.left(c);
        break;
    default:
        break;
    }
}

void main_window::mark_suggestion(std::size_t row) {
    // The open list marks the suggested entry; the edit text stays as typed.
    HWND combo = control(row);
    if (::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) == FALSE) {
        return;
    }
    if (HWND list = list_of(combo)) {
        const int entry = suggestions_[row];
        ::SendMessageW(list, LB_SETCURSEL, entry >= 0 ? static_cast<WPARAM>(entry) : WPARAM(-1), 0);
    }
}

void main_window::show_suggestion(std::size_t row, int index) {
    const auto count = static_cast<int>(::SendMessageW(control(row), CB_GETCOUNT, 0, 0));
    suggestions_[row] = index >= 0 && index < count ? index : -1;
    mark_suggestion(row);
}

void main_window::clear_items(std::size_t row) {
    HWND combo = control(row);
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    ::SetWindowTextW(combo, L"");
    suggestions_[row] = -1;
}

void main_window::append_item(std::size_t row, std::string_view text) {
    ::SendMessageW(control(row), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(text).c_str()));
}

void main_window::set_item_index(std::size_t row, int index) {
    HWND combo = control(row);
    const auto count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    if (index < 0 || index >= count) {
        // No entry selected; the edit keeps its text.
        const std::wstring shown = window_text(combo);
        ::SendMessageW(combo, CB_SETCURSEL, WPARAM(-1), 0);
        ::SetWindowTextW(combo, shown.c_str());
        return;
    }
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void main_window::show_notice(std::string_view text) {
    boxes_.queue().show(box_kind::notice, std::string(text));
}

} // namespace zev1::win32
