#include "app/win32/terminal_window.h"

#include "app/win32/dpi.h"
#include "app/win32/win_text.h"

#include <algorithm>
#include <utility>

namespace zev1::win32 {

namespace {

// How many whole lines the memo shows.
int lines_in_view(HWND memo) {
    RECT area{};
    ::SendMessageW(memo, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    const window_dc dc(memo);
    const selected font(dc.get(),
                        reinterpret_cast<HGDIOBJ>(::SendMessageW(memo, WM_GETFONT, 0, 0)));
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc.get(), &tm);
    return std::max(1, static_cast<int>((area.bottom - area.top) / std::max(1L, tm.tmHeight)));
}

} // namespace

terminal_window::terminal_window(Tini_file& settings, const text_codec& codec, clock_source clock)
    : form_window(terminal_form_spec, nullptr), form_(*this, settings, codec, std::move(clock)) {
    // Design place: top left of the screen.
    ::SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    start_messages();
    const design_box client = client_design();
    form_.resized(client.width, client.height);
    form_.FormCreate();
}

void terminal_window::bring_to_front() {
    if (!::IsWindowVisible(hwnd())) {
        ::ShowWindow(hwnd(), show_maximised_ ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        show_maximised_ = false;
    } else if (::IsIconic(hwnd())) {
        ::ShowWindow(hwnd(), SW_RESTORE);
    }
    ::SetForegroundWindow(hwnd());
    ::SetActiveWindow(hwnd());
}

void terminal_window::append_line(std::size_t memo, std::string_view line) {
    // The text goes in through the selection, so the reader's selection and place are
    // taken first and given back: a view scrolled to its last line follows the new one, a
    // view scrolled back stays where it is, and lines selected for copying stay selected.
    HWND view = control(memo);
    DWORD sel_start = 0;
    DWORD sel_end = 0;
    ::SendMessageW(view, EM_GETSEL, reinterpret_cast<WPARAM>(&sel_start),
                   reinterpret_cast<LPARAM>(&sel_end));
    const auto first = static_cast<int>(::SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0));
    const bool follow = first + lines_in_view(view) >=
                        static_cast<int>(::SendMessageW(view, EM_GETLINECOUNT, 0, 0));

    ::SendMessageW(view, WM_SETREDRAW, FALSE, 0);
    const int length = ::GetWindowTextLengthW(view);
    const std::wstring text = (length > 0 ? L"\r\n" : L"") + wide(line);
    ::SendMessageW(view, EM_SETSEL, static_cast<WPARAM>(length), length);
    ::SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageW(view, EM_SETSEL, sel_start, static_cast<LPARAM>(sel_end));
    if (follow) {
        ::SendMessageW(view, WM_VSCROLL, SB_BOTTOM, 0);
    } else {
        const auto now = static_cast<int>(::SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0));
        ::SendMessageW(view, EM_LINESCROLL, 0, first - now);
    }
    ::SendMessageW(view, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(view, nullptr, TRUE);
}

void terminal_window::drop_first_lines(std::size_t memo, int count) {
    HWND view = control(memo);
    const auto lines = static_cast<int>(::SendMessageW(view, EM_GETLINECOUNT, 0, 0));
    if (count <= 0) {
        return;
    }
    DWORD sel_start = 0;
    DWORD sel_end = 0;
    ::SendMessageW(view, EM_GETSEL, reinterpret_cast<WPARAM>(&sel_start),
                   reinterpret_cast<LPARAM>(&sel_end));
    const auto first = static_cast<int>(::SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0));
    const bool follow = first + lines_in_view(view) >= lines;

    ::SendMessageW(view, WM_SETREDRAW, FALSE, 0);
    const auto end = count >= lines
                         ? static_cast<LRESULT>(::GetWindowTextLengthW(view))
                         : ::SendMessageW(view, EM_LINEINDEX, static_cast<WPARAM>(count), 0);
    ::SendMessageW(view, EM_SETSEL, 0, end);
    ::SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    // The reader's selection and place move with the text.
    const auto shift = [&](DWORD at) {
        return static_cast<WPARAM>(std::max<LRESULT>(0, static_cast<LRESULT>(at) - end));
    };
    ::SendMessageW(view, EM_SETSEL, shift(sel_start), static_cast<LPARAM>(shift(sel_end)));
    if (follow) {
        ::SendMessageW(view, WM_VSCROLL, SB_BOTTOM, 0);
    } else {
        const auto now = static_cast<int>(::SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0));
        ::SendMessageW(view, EM_LINESCROLL, 0, std::max(0, first - count) - now);
    }
    ::SendMessageW(view, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(view, nullptr, TRUE);
}

screen_rect terminal_window::outer_geometry() const {
    RECT r{};
    ::GetWindowRect(hwnd(), &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void terminal_window::set_outer_geometry(const screen_rect& r) {
    ::SetWindowPos(hwnd(), nullptr, r.left, r.top, r.width, r.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

bool terminal_window::maximised() const {
    return show_maximised_ || ::IsZoomed(hwnd()) != FALSE;
}

void terminal_window::set_maximised(bool maximised) {
    if (!::IsWindowVisible(hwnd())) {
        show_maximised_ = maximised;
        return;
    }
    ::ShowWindow(hwnd(), maximised ? SW_MAXIMIZE : SW_RESTORE);
}

LRESULT terminal_window::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_SIZE:
        form_.resized(to_design(LOWORD(lparam), dpi()), to_design(HIWORD(lparam), dpi()));
        return 0;
    case WM_COMMAND:
        if (const auto r = command_row(wparam); r && HIWORD(wparam) == BN_CLICKED) {
            form_.clicked(static_cast<terminal_control>(*r));
        }
        return 0;
    case WM_CLOSE:
        ::ShowWindow(hwnd(), SW_HIDE); // the terminal lives until the program ends
        return 0;
    default:
        break;
    }
    return form_window::on_message(message, wparam, lparam);
}

} // namespace zev1::win32
