// tick_period: how long the configurator's 10 ms tick really is on this Windows (or Wine).
//
// Runs a window's 10 ms SetTimer, as the main window's Timer1 does, for three seconds with
// the system's default timer resolution and three seconds with it raised to 1 ms (as the
// program raises it for its life), and prints the mean and median period of each beside
// the 10 ms asked for and their ratio. The last line is "ratio R" for the raised run.
#include "app/main_layout.h"
#include "app/win32/program.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>
#include <windows.h>

namespace {

constexpr UINT_PTR timer_id = 1;
constexpr double run_ms = 3000.0;

struct measurement {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER last{};
    std::vector<double> periods;
    bool done = false;
};

LRESULT CALLBACK timer_window(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* m = reinterpret_cast<measurement*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_TIMER && m != nullptr) {
        LARGE_INTEGER now{};
        ::QueryPerformanceCounter(&now);
        if (m->last.QuadPart != 0) {
            m->periods.push_back(1000.0 * static_cast<double>(now.QuadPart - m->last.QuadPart) /
                                 static_cast<double>(m->frequency.QuadPart));
        }
        m->last = now;
        if (std::accumulate(m->periods.begin(), m->periods.end(), 0.0) >= run_ms) {
            m->done = true;
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

measurement measure() {
    measurement m;
    ::QueryPerformanceFrequency(&m.frequency);
    HWND window = ::CreateWindowExW(0, L"ZEV1TickPeriod", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m));
    ::SetTimer(window, timer_id, zev1::tick_ms, nullptr);
    MSG message{};
    while (!m.done && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    ::KillTimer(window, timer_id);
    ::DestroyWindow(window);
    return m;
}

double report(const char* what, std::vector<double> periods) {
    std::sort(periods.begin(), periods.end());
    const double mean =
        std::accumulate(periods.begin(), periods.end(), 0.0) / static_cast<double>(periods.size());
    const double median = periods[periods.size() / 2];
    std::printf("%-26s ticks %4zu  mean %6.2f ms  median %6.2f ms  (asked %d ms)  ratio %.2f\n",
                what, periods.size(), mean, median, zev1::tick_ms, mean / zev1::tick_ms);
    return mean / zev1::tick_ms;
}

} // namespace

int main() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = timer_window;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZEV1TickPeriod";
    ::RegisterClassW(&wc);

    report("default timer resolution", measure().periods);
    double ratio = 0;
    {
        const zev1::win32::timer_resolution raised;
        ratio = report("timeBeginPeriod(1)", measure().periods);
    }
    std::printf("ratio %.2f\n", ratio);
    return 0;
}
