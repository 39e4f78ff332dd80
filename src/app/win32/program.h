#pragma once
// The whole Windows program, built in its fixed order: the system timer raised to 1 ms for
// its life (Windows otherwise rounds the 10 ms timer up to 15.6 ms, and every time counted
// in ticks, the keep-alive, the watchdog and the reply time-out, would stretch by half),
// the common controls, the serial port, the application object with its settings file,
// then the four windows (main window, about box, terminal, progress window) with the
// message boxes, the accelerators and the message loop, attached to the application
// object as the views of the link and the sequencer. Only the main window is shown.
// Destroyed in the other order: the views are detached first and the settings file is
// written last.
#include "app/application.h"
#include "app/attached_views.h"
#include "app/win32/about_box.h"
#include "app/win32/main_window.h"
#include "app/win32/message_boxes.h"
#include "app/win32/message_pump.h"
#include "app/win32/progress_window.h"
#include "app/win32/terminal_window.h"
#include "app/win32/win_text.h"
#include "serial/serial.h"
#include "settings/settings_place.h"

namespace zev1::win32 {

// timeBeginPeriod(1) while it exists.
class timer_resolution {
public:
    timer_resolution();
    ~timer_resolution();
    timer_resolution(const timer_resolution&) = delete;
    timer_resolution& operator=(const timer_resolution&) = delete;

private:
    bool raised_ = false;
};

// The common controls (progress bar, visual styles) are registered before any window.
struct common_controls {
    common_controls();
};

class program {
public:
    explicit program(settings_place settings, clock_source clock = system_clock_source());

    // Shows the main window and runs the message loop until it is closed.
    int run();

    Tlpc1xxx& app() { return app_; }
    main_window& main() { return main_; }
    about_box& about() { return about_; }
    terminal_window& log_win() { return log_win_; }
    progress_window& progress_win() { return progress_win_; }
    const message_pump& pump() const { return pump_; }

private:
    timer_resolution resolution_;
    common_controls controls_;
    serial port_;
    Tlpc1xxx app_;
    ansi_codec codec_;
    message_box_opener boxes_;
    message_pump pump_;
    unique_haccel accelerators_;
    main_window main_;
    about_box about_;
    terminal_window log_win_;
    progress_window progress_win_;
    attached_views views_;
};

} // namespace zev1::win32
