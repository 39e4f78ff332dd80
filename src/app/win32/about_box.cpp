#include "app/win32/about_box.h"

#include "app/about.h"
#include "app/win32/win_text.h"

namespace zev1::win32 {

about_box::about_box(HWND owner, const std::filesystem::path& settings_file)
    : form_window(about_form_spec, owner), settings_file_(settings_file) {
    show_texts(true);
    // The whole path, where the box shows it shortened.
    set_hint(control(row(about_control::SettingsFile)), utf8(settings_file.wstring()));
    HWND ok = control(row(about_control::OKButton));
    ::SendMessageW(ok, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    start_messages();
}

void about_box::show_texts(bool german) {
    const auto texts = about_texts(settings_file_, german);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        set_text(i, texts[i]);
    }
}

void about_box::bring_to_front(bool german) {
    show_texts(german);
    centre_on_screen();
    ::ShowWindow(hwnd(), SW_SHOW);
    ::SetForegroundWindow(hwnd());
    ::SetFocus(control(row(about_control::OKButton)));
}

LRESULT about_box::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    const bool ok =
        message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL ||
                                  command_row(wparam) == row(about_control::OKButton));
    if (ok || message == WM_CLOSE) {
        ::ShowWindow(hwnd(), SW_HIDE);
        return 0;
    }
    return form_window::on_message(message, wparam, lparam);
}

} // namespace zev1::win32
