#include "app/win32/progress_window.h"

#include "app/win32/win_text.h"

#include <commctrl.h>

namespace zev1::win32 {

progress_window::progress_window(HWND owner, const text_codec& codec, message_boxes& boxes,
                                 const message_pump& pump)
    : form_window(progress_form_spec, owner), form_(*this, codec), boxes_(boxes), pump_(pump) {
    centre_on_screen();
    start_messages();
}

void progress_window::set_visible(bool visible) {
    if (visible) {
        centre_on_screen();
        // On top of the others, without taking the focus from the main window.
        ::SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else {
        ::ShowWindow(hwnd(), SW_HIDE);
    }
}

void progress_window::process_pending_events() {
    pump_.process_pending();
    ::UpdateWindow(hwnd());
}

void progress_window::set_bar(int position) {
    ::SendMessageW(control(row(progress_control::Bar)), PBM_SETPOS, static_cast<WPARAM>(position),
                   0);
}

int progress_window::bar() const {
    return static_cast<int>(::SendMessageW(control(row(progress_control::Bar)), PBM_GETPOS, 0, 0));
}

void progress_window::show_error(std::string_view text) {
    boxes_.show(box_kind::error, std::string(text));
}

LRESULT progress_window::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND && command_row(wparam) == row(progress_control::Cancel) &&
        HIWORD(wparam) == BN_CLICKED) {
        form_.CancelClick();
        return 0;
    }
    if (message == WM_CLOSE) {
        return 0; // no close box; Alt+F4 does not end a transfer either
    }
    return form_window::on_message(message, wparam, lparam);
}

} // namespace zev1::win32
