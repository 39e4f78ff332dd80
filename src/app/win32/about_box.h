#pragma once
// The about box in Win32: the controls of app/about.h with the program's name, version,
// purpose and settings file, and OK, which (like Esc and the close box) hides it again.
// Shown with F1, in the main window's language.
#include "app/win32/form_window.h"

#include <filesystem>

namespace zev1::win32 {

class about_box final : public form_window {
public:
    about_box(HWND owner, const std::filesystem::path& settings_file);
    // Shows the box with its texts in German or Czech (app/about.h).
    void bring_to_front(bool german);

private:
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    void show_texts(bool german);

    std::filesystem::path settings_file_;
};

} // namespace zev1::win32
