#pragma once
// The windows are laid out in design pixels (96 dots per inch) and scaled to the dots per
// inch of the monitor they are on: the program is per-monitor DPI aware (its manifest
// says so), so Windows does not stretch its bitmaps and every control stays sharp. The
// functions that know a window's own DPI came with Windows 10; on older systems the
// screen's DPI is used.
#include <windows.h>

namespace zev1::win32 {

inline constexpr int design_dpi = 96;

// The dots per inch of the monitor the window is on.
int dpi_of(HWND window);

inline int to_device(int design, int dpi) {
    return ::MulDiv(design, dpi, design_dpi);
}
inline int to_design(int device, int dpi) {
    return ::MulDiv(device, design_dpi, dpi);
}

// The outer size of a window of this style whose client area is width x height.
SIZE outer_size(DWORD style, DWORD ex_style, int width, int height, int dpi);

// The system's message font (the font of message boxes) at the given DPI.
LOGFONTW message_font(int dpi);

} // namespace zev1::win32
