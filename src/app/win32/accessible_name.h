#pragma once
// The name a screen reader gives a control that no label before it names: set on the
// control's window through the system's accessibility property service.
#include <string_view>
#include <windows.h>

namespace zev1::win32 {

// Whether the service took the name (Wine has no such service).
bool set_accessible_name(HWND control, std::string_view name);

} // namespace zev1::win32
