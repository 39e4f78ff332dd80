#pragma once
// Window texts: UTF-8 in the forms, UTF-16 in the W functions. Texts exchanged with the
// controller, the settings file and the port layer are in the ANSI code page.
#include "app/text_codec.h"

#include <string>
#include <string_view>
#include <windows.h>

namespace zev1::win32 {

std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view text);

// The text of a window or control (WM_GETTEXT).
std::wstring window_text(HWND window);

class ansi_codec final : public text_codec {
public:
    std::string to_window(std::string_view local) const override;
    std::string to_local(std::string_view window) const override;
};

} // namespace zev1::win32
