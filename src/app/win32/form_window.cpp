#include "app/win32/form_window.h"

#include "app/win32/accessible_name.h"
#include "app/win32/dpi.h"
#include "app/win32/win_text.h"

#include <algorithm>
#include <commctrl.h>

namespace zev1::win32 {

namespace {

constexpr wchar_t window_class[] = L"ZEV1Form";
constexpr int combo_list_rows = 8;

HINSTANCE instance() {
    return ::GetModuleHandleW(nullptr);
}

void register_class(WNDPROC procedure) {
    static const bool registered = [procedure] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = procedure;
        wc.hInstance = instance();
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = window_class;
        wc.hIcon = ::LoadIconW(instance(), MAKEINTRESOURCEW(1));
        if (wc.hIcon == nullptr) {
            wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
        }
        return ::RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

struct control_class {
    const wchar_t* name;
    DWORD style;
    DWORD ex_style;
};

DWORD alignment_style(text_align align) {
    switch (align) {
    case text_align::centre:
        return SS_CENTER;
    case text_align::right:
        return SS_RIGHT;
    case text_align::left:
        break;
    }
    return SS_LEFTNOWORDWRAP;
}

control_class class_of(const control_spec& c) {
    switch (c.kind) {
    case control_kind::label:
        return {L"STATIC", SS_NOPREFIX | alignment_style(c.align), 0};
    case control_kind::wrapped_label:
        return {
            L"STATIC",
            static_cast<DWORD>(SS_NOPREFIX | (c.align == text_align::centre ? SS_CENTER : SS_LEFT)),
            0};
    case control_kind::edit:
        return {L"EDIT", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case control_kind::read_only_edit:
        return {L"EDIT", ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE};
    case control_kind::combo:
        return {L"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, 0};
    case control_kind::button:
        return {L"BUTTON", BS_PUSHBUTTON, 0};
    case control_kind::check_box:
        return {L"BUTTON", BS_AUTOCHECKBOX, 0};
    case control_kind::memo:
        return {L"EDIT",
                ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                    WS_HSCROLL,
                WS_EX_CLIENTEDGE};
    case control_kind::progress_bar:
        return {PROGRESS_CLASSW, PBS_SMOOTH, 0};
    }
    return {L"STATIC", 0, 0};
}

SIZE text_extent(HWND control, const std::wstring& text) {
    window_dc dc(control);
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    const selected keep(dc.get(), font != nullptr ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    SIZE size{0, 0};
    if (!text.empty()) {
        ::GetTextExtentPoint32W(dc.get(), text.data(), static_cast<int>(text.size()), &size);
    } else {
        TEXTMETRICW tm{};
        ::GetTextMetricsW(dc.get(), &tm);
        size.cy = tm.tmHeight;
    }
    return size;
}

} // namespace

DWORD style_of(window_kind kind) {
    switch (kind) {
    case window_kind::tool:
        return WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN; // no system menu: no close box
    case window_kind::sizeable:
        return WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    case window_kind::dialog:
        return WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    case window_kind::fixed_dialog:
        break;
    }
    return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
}

DWORD ex_style_of(window_kind kind) {
    if (kind == window_kind::tool) {
        return WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
    }
    if (kind == window_kind::dialog) {
        return WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    }
    return WS_EX_CONTROLPARENT;
}

form_window::form_window(const form_spec& form, HWND owner)
    : form_(form), places_(form.controls.size()), names_(form.controls.size()),
      fitted_fonts_(form.controls.size()) {
    register_class(&form_window::window_proc);
    const DWORD style = style_of(form.kind);
    // A window that takes no focus is not activated by a click either.
    const DWORD ex_style = ex_style_of(form.kind) | (form.takes_focus ? 0 : WS_EX_NOACTIVATE);
    const SIZE outer = outer_size(style, ex_style, form.client_width, form.client_height, dpi_);
    HWND window =
        ::CreateWindowExW(ex_style, window_class, wide(form.caption).c_str(), style, CW_USEDEFAULT,
                          CW_USEDEFAULT, outer.cx, outer.cy, owner, nullptr, instance(), this);
    hwnd_.reset(window);
    if (window == nullptr) {
        return;
    }
    dpi_ = dpi_of(window);
    if (dpi_ != design_dpi) {
        const SIZE scaled = outer_size(style, ex_style, to_device(form.client_width, dpi_),
                                       to_device(form.client_height, dpi_), dpi_);
        ::SetWindowPos(window, nullptr, 0, 0, scaled.cx, scaled.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (std::size_t i = 0; i < form.controls.size(); ++i) {
        places_[i] = form.controls[i].place;
    }
    create_controls();
    apply_fonts();
    layout_controls();
}

form_window::~form_window() {
    dispatching_ = false;
}

LRESULT CALLBACK form_window::window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<form_window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<form_window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (self == nullptr) {
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        // Destroyed by Windows (an owned window goes with its owner): nothing to destroy
        // any more.
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        (void)self->hwnd_.release();
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    if (message == WM_DPICHANGED) {
        self->on_dpi_changed(LOWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
        return 0;
    }
    if (message == WM_ACTIVATE) {
        // As a dialog does: the focus goes back to the control that had it when the window
        // was left (the first of the tab order at the first activation), not to the frame,
        // where typed keys would go nowhere.
        if (LOWORD(wparam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (focus != nullptr && ::IsChild(window, focus)) {
                self->last_focus_ = focus;
            }
        } else if (HIWORD(wparam) == 0) { // not minimised
            HWND focus = self->last_focus_;
            if (focus == nullptr || !::IsChild(window, focus)) {
                focus = ::GetNextDlgTabItem(window, nullptr, FALSE);
            }
            ::SetFocus(focus != nullptr ? focus : window);
        }
        return 0;
    }
    if (message == WM_NEXTDLGCTL) {
        // A multi-line text field passes the Tab key on to its window this way, as it would
        // to a dialog.
        HWND next = LOWORD(lparam) != 0 ? reinterpret_cast<HWND>(wparam)
                                        : ::GetNextDlgTabItem(window, ::GetFocus(), wparam != 0);
        if (next != nullptr) {
            ::SetFocus(next);
        }
        return 0;
    }
    if (message == WM_CTLCOLORSTATIC) {
        // Read-only text fields keep the look of text fields (the program writes them, the
        // user reads and copies from them).
        const auto row = self->row_of(reinterpret_cast<HWND>(lparam));
        const control_kind kind = row ? self->form_.controls[*row].kind : control_kind::label;
        if (kind == control_kind::memo || kind == control_kind::read_only_edit) {
            const auto dc = reinterpret_cast<HDC>(wparam);
            ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
            ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
    }
    if (self->dispatching_) {
        return self->on_message(message, wparam, lparam);
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

LRESULT form_window::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    return ::DefWindowProcW(hwnd(), message, wparam, lparam);
}

std::optional<std::size_t> form_window::command_row(WPARAM wparam) const {
    const int id = LOWORD(wparam);
    if (id < first_control_id || id >= first_control_id + static_cast<int>(controls_.size())) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(id - first_control_id);
}

std::optional<std::size_t> form_window::row_of(HWND control) const {
    const auto at = std::find(controls_.begin(), controls_.end(), control);
    if (at == controls_.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(at - controls_.begin());
}

void form_window::create_controls() {
    for (std::size_t i = 0; i < form_.controls.size(); ++i) {
        const control_spec& c = form_.controls[i];
        const control_class cls = class_of(c);
        DWORD style = WS_CHILD | WS_VISIBLE | cls.style;
        if (c.tab >= 0 && form_.takes_focus) {
            style |= WS_TABSTOP;
        }
        HWND control = ::CreateWindowExW(
            cls.ex_style, cls.name, wide(c.kind == control_kind::combo ? "" : c.initial).c_str(),
            style, 0, 0, 0, 0, hwnd(),
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(first_control_id + static_cast<int>(i))),
            instance(), nullptr);
        controls_.push_back(control);
        if (c.kind == control_kind::combo) {
            for (const std::string_view item : c.items) {
                ::SendMessageW(control, CB_ADDSTRING, 0,
                               reinterpret_cast<LPARAM>(wide(item).c_str()));
            }
            const auto entry = std::find(c.items.begin(), c.items.end(), c.initial);
            if (entry != c.items.end()) {
                ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(entry - c.items.begin()),
                               0);
            } else {
                ::SetWindowTextW(control, wide(c.initial).c_str());
            }
        } else if (c.kind == control_kind::progress_bar) {
            ::SendMessageW(control, PBM_SETRANGE32, 0, 100);
            ::SendMessageW(control, PBM_SETSTEP, 1, 0);
        } else if (c.kind == control_kind::memo) {
            ::SendMessageW(control, EM_SETLIMITTEXT, 0, 0);
        }
    }
    // The tab key visits the controls in their stacking order: stack them in tab order.
    for (const std::size_t i : tab_sequence(form_.controls)) {
        ::SetWindowPos(controls_[i], HWND_BOTTOM, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    // A screen reader names a field by the static text right before it in that order; the
    // labels take no focus, so they can stand anywhere in it without changing the tab key's
    // round.
    for (const label_link& link : form_.labels) {
        HWND before = ::GetWindow(controls_[link.control], GW_HWNDPREV);
        if (before != controls_[link.label]) {
            ::SetWindowPos(controls_[link.label], before != nullptr ? before : HWND_TOP, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

HFONT form_window::font_for(font_role role) {
    unique_hfont& font = role_fonts_[static_cast<std::size_t>(role)];
    if (!font) {
        const font_spec spec = font_of(role, form_);
        LOGFONTW lf = message_font(dpi_);
        if (!spec.face.empty()) {
            const std::wstring face = wide(spec.face);
            lf = LOGFONTW{};
            lf.lfCharSet = DEFAULT_CHARSET;
            lf.lfQuality = CLEARTYPE_QUALITY;
            face.copy(lf.lfFaceName, LF_FACESIZE - 1);
        }
        if (spec.pixels > 0) {
            lf.lfHeight = -to_device(spec.pixels, dpi_);
        }
        lf.lfWidth = 0;
        lf.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
        if (spec.fixed_pitch) {
            // Where the face is missing, the font mapper takes another fixed-pitch font.
            lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        }
        font.reset(::CreateFontIndirectW(&lf));
    }
    return font.get();
}

void form_window::apply_fonts() {
    ::SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font_for(font_role::window)), 0);
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        ::SendMessageW(controls_[i], WM_SETFONT,
                       reinterpret_cast<WPARAM>(font_for(form_.controls[i].font)), TRUE);
    }
}

void form_window::layout_controls() {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        place(i, places_[i]);
    }
}

void form_window::place(std::size_t row, const design_box& box) {
    places_[row] = box;
    const control_spec& c = form_.controls[row];
    HWND control = controls_[row];
    const int x = to_device(box.left, dpi_);
    const int y = to_device(box.top, dpi_);
    if (auto_sized(c)) {
        ::SetWindowPos(control, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        fit_to_caption(row);
        return;
    }
    const int width = to_device(box.width, dpi_);
    const int height = to_device(box.height, dpi_);
    if (c.kind != control_kind::combo) {
        ::SetWindowPos(control, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        fit_to_caption(row);
        return;
    }
    // A drop-down combo box's height is its list's; the field's height follows the height
    // of its selection line, which is set to give the field the table's height.
    const auto item = static_cast<int>(::SendMessageW(control, CB_GETITEMHEIGHT, 0, 0));
    const int list = combo_list_rows * std::max(item, 1) + 2;
    ::SetWindowPos(control, nullptr, x, y, width, height + list, SWP_NOZORDER | SWP_NOACTIVATE);
    // Systems differ in what the selection line's height counts (Wine hands back two
    // pixels more than it was given), so measure the field and correct what was asked.
    auto asked = static_cast<int>(::SendMessageW(control, CB_GETITEMHEIGHT, WPARAM(-1), 0));
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT field{};
        ::GetWindowRect(control, &field);
        const int off = height - (field.bottom - field.top);
        if (off == 0 || asked + off <= 0) {
            break;
        }
        asked += off;
        ::SendMessageW(control, CB_SETITEMHEIGHT, WPARAM(-1), asked);
    }
}

void form_window::fit_to_caption(std::size_t row) {
    const control_spec& c = form_.controls[row];
    HWND control = controls_[row];
    if (auto_sized(c)) {
        const SIZE size = text_extent(control, window_text(control));
        RECT client{};
        ::GetClientRect(hwnd(), &client);
        const int room = client.right - to_device(places_[row].left, dpi_) - to_device(4, dpi_);
        ::SetWindowPos(control, nullptr, 0, 0, std::min<int>(size.cx + 1, room), size.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    if (c.kind != control_kind::button) {
        return;
    }
    // The role's font when the caption fits in it, else a smaller one
    // (fitting_caption_pixels).
    const std::wstring caption = window_text(control);
    HFONT base = font_for(c.font);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(base), FALSE);
    LOGFONTW lf{};
    ::GetObjectW(base, sizeof lf, &lf);
    const int pixels = std::abs(lf.lfHeight);
    const auto font_of_height = [&](int height) {
        LOGFONTW sized = lf;
        sized.lfHeight = lf.lfHeight < 0 ? -height : height;
        return unique_hfont(::CreateFontIndirectW(&sized));
    };
    const int fitted = fitting_caption_pixels(
        to_device(places_[row].width - caption_margin, dpi_), pixels,
        to_device(smallest_caption_pixels, dpi_), [&](int height) {
            if (height == pixels) {
                return static_cast<int>(text_extent(control, caption).cx);
            }
            const unique_hfont trial = font_of_height(height);
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(trial.get()), FALSE);
            const auto width = static_cast<int>(text_extent(control, caption).cx);
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(base), FALSE);
            return width;
        });
    unique_hfont smaller;
    if (fitted != pixels) {
        smaller = font_of_height(fitted);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(smaller.get()), FALSE);
    }
    fitted_fonts_[row] = std::move(smaller);
    ::InvalidateRect(control, nullptr, TRUE);
}

void form_window::set_hint(HWND target, std::string_view text) {
    if (hints_ == nullptr) {
        hints_ =
            ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                              WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr, instance(), nullptr);
        if (hints_ == nullptr) {
            return;
        }
        // A width of its own lets a hint break its lines at "\n".
        ::SendMessageW(hints_, TTM_SETMAXTIPWIDTH, 0, to_device(400, dpi_));
    }
    std::array<wchar_t, 8> kind{};
    ::GetClassNameW(target, kind.data(), static_cast<int>(kind.size()));
    if (::lstrcmpiW(kind.data(), L"STATIC") == 0) {
        // A static text lets the mouse through to its window unless it notifies.
        ::SetWindowLongPtrW(target, GWL_STYLE, ::GetWindowLongPtrW(target, GWL_STYLE) | SS_NOTIFY);
    }
    std::wstring wtext = wide(text);
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(target);
    tool.lpszText = wtext.data(); // copied by the tooltip
    TOOLINFOW known = tool;
    known.lpszText = nullptr;
    const bool added =
        ::SendMessageW(hints_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&known)) != FALSE;
    ::SendMessageW(hints_, added ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
                   reinterpret_cast<LPARAM>(&tool));
}

void form_window::set_hint(std::size_t row, std::string_view text) {
    set_hint(controls_[row], text);
}

void form_window::set_accessible_name(std::size_t row, std::string_view text) {
    names_[row] = text;
    win32::set_accessible_name(controls_[row], text);
}

void form_window::set_window_hint(std::string_view text) {
    set_hint(hwnd(), text);
}

int form_window::font_pixels(std::size_t row) const {
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(controls_[row], WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    if (font == nullptr || ::GetObjectW(font, sizeof lf, &lf) == 0) {
        return 0;
    }
    return std::abs(lf.lfHeight);
}

void form_window::set_text(std::size_t row, std::string_view text) {
    ::SetWindowTextW(controls_[row], wide(text).c_str());
    fit_to_caption(row);
}

std::string form_window::text(std::size_t row) const {
    return utf8(window_text(controls_[row]));
}

void form_window::set_checked(std::size_t row, bool checked) {
    ::SendMessageW(controls_[row], BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool form_window::checked(std::size_t row) const {
    return ::SendMessageW(controls_[row], BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void form_window::set_caption(std::string_view text) {
    ::SetWindowTextW(hwnd(), wide(text).c_str());
}

design_box form_window::client_design() const {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    return {0, 0, to_design(client.right, dpi_), to_design(client.bottom, dpi_)};
}

void form_window::centre_on_screen() {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        return;
    }
    RECT outer{};
    ::GetWindowRect(hwnd(), &outer);
    const RECT& area = monitor.rcWork;
    const int x = area.left + ((area.right - area.left) - (outer.right - outer.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (outer.bottom - outer.top)) / 2;
    ::SetWindowPos(hwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void form_window::on_dpi_changed(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    for (unique_hfont& f : role_fonts_) {
        f.reset();
    }
    apply_fonts();
    ::SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    layout_controls();
}

} // namespace zev1::win32
