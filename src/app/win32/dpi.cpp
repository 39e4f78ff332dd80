#include "app/win32/dpi.h"

namespace zev1::win32 {

namespace {

// Functions of user32 that not every Windows has, looked up once.
struct dpi_functions {
    using dpi_for_window = UINT(WINAPI*)(HWND);
    using adjust_for_dpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    using parameters_for_dpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

    dpi_functions() {
        if (HMODULE user32 = ::GetModuleHandleW(L"user32.dll")) {
            dpi_for = reinterpret_cast<dpi_for_window>(
                reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")));
            adjust = reinterpret_cast<adjust_for_dpi>(
                reinterpret_cast<void*>(::GetProcAddress(user32, "AdjustWindowRectExForDpi")));
            parameters = reinterpret_cast<parameters_for_dpi>(
                reinterpret_cast<void*>(::GetProcAddress(user32, "SystemParametersInfoForDpi")));
        }
    }
    dpi_for_window dpi_for = nullptr;
    adjust_for_dpi adjust = nullptr;
    parameters_for_dpi parameters = nullptr;
};

const dpi_functions& functions() {
    static const dpi_functions f;
    return f;
}

int screen_dpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : design_dpi;
    if (screen != nullptr) {
        ::ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : design_dpi;
}

} // namespace

int dpi_of(HWND window) {
    if (functions().dpi_for != nullptr && window != nullptr) {
        const UINT dpi = functions().dpi_for(window);
        if (dpi > 0) {
            return static_cast<int>(dpi);
        }
    }
    return screen_dpi();
}

SIZE outer_size(DWORD style, DWORD ex_style, int width, int height, int dpi) {
    RECT r{0, 0, width, height};
    if (functions().adjust != nullptr) {
        functions().adjust(&r, style, FALSE, ex_style, static_cast<UINT>(dpi));
    } else {
        ::AdjustWindowRectEx(&r, style, FALSE, ex_style);
    }
    return {r.right - r.left, r.bottom - r.top};
}

LOGFONTW message_font(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    const bool ok = functions().parameters != nullptr
                        ? functions().parameters(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics,
                                                 0, static_cast<UINT>(dpi)) != FALSE
                        : ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics,
                                                  0) != FALSE;
    if (!ok) {
        LOGFONTW fallback{};
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof fallback, &fallback);
        return fallback;
    }
    return metrics.lfMessageFont;
}

} // namespace zev1::win32
