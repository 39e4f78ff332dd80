#pragma once
// Owners for the Win32 objects the windows create: each closes its handle with the
// function that belongs to it, once, when it goes out of scope.
#include <memory>
#include <type_traits>
#include <windows.h>

namespace zev1::win32 {

struct window_closer {
    void operator()(HWND h) const { ::DestroyWindow(h); }
};
struct gdi_closer {
    void operator()(HGDIOBJ h) const { ::DeleteObject(h); }
};
struct accelerator_closer {
    void operator()(HACCEL h) const { ::DestroyAcceleratorTable(h); }
};
struct icon_closer {
    void operator()(HICON h) const { ::DestroyIcon(h); }
};

using unique_hwnd = std::unique_ptr<std::remove_pointer_t<HWND>, window_closer>;
using unique_hfont = std::unique_ptr<std::remove_pointer_t<HFONT>, gdi_closer>;
using unique_haccel = std::unique_ptr<std::remove_pointer_t<HACCEL>, accelerator_closer>;

// A device context of a window, released with it.
class window_dc {
public:
    explicit window_dc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~window_dc() {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }
    window_dc(const window_dc&) = delete;
    window_dc& operator=(const window_dc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects a GDI object into a device context for the lifetime of this object.
class selected {
public:
    selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~selected() { ::SelectObject(dc_, previous_); }
    selected(const selected&) = delete;
    selected& operator=(const selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

} // namespace zev1::win32
