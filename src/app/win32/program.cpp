#include "app/win32/program.h"

#include <array>
#include <commctrl.h>
#include <mmsystem.h>
#include <utility>
#include <windows.h>

namespace zev1::win32 {

namespace {

HACCEL make_accelerators() {
    std::array<ACCEL, 2> keys = {{
        {FCONTROL | FVIRTKEY, 'T', show_terminal_command},
        {FVIRTKEY, VK_F1, show_about_command},
    }};
    return ::CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

} // namespace

timer_resolution::timer_resolution() : raised_(::timeBeginPeriod(1) == TIMERR_NOERROR) {}

timer_resolution::~timer_resolution() {
    if (raised_) {
        ::timeEndPeriod(1);
    }
}

common_controls::common_controls() {
    INITCOMMONCONTROLSEX init{};
    init.dwSize = sizeof init;
    init.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES; // tooltips
    ::InitCommonControlsEx(&init);
}

program::program(settings_place settings, clock_source clock)
    : app_(std::move(settings), port_), accelerators_(make_accelerators()),
      main_(app_, codec_, boxes_), about_(main_.hwnd(), app_.path()),
      log_win_(app_, codec_, std::move(clock)),
      progress_win_(main_.hwnd(), codec_, boxes_.queue(), pump_),
      views_(app_, log_win_.form(), main_.form(), progress_win_.form()) {
    pump_.set_accelerators(main_.hwnd(), accelerators_.get());
    for (HWND w : {main_.hwnd(), about_.hwnd(), log_win_.hwnd(), progress_win_.hwnd()}) {
        pump_.add_window(w);
    }
    main_.on_show_terminal = [this] { log_win_.bring_to_front(); };
    main_.on_show_about = [this] { about_.bring_to_front(main_.form().german()); };
    main_.start();
}

int program::run() {
    ::ShowWindow(main_.hwnd(), SW_SHOWNORMAL);
    ::UpdateWindow(main_.hwnd());
    return pump_.run();
}

} // namespace zev1::win32
