#pragma once
// The program's four Qt windows, created in their fixed order (main window, about box,
// terminal, progress window) once the application object exists, and attached to it as
// the views of the link and the sequencer, with the message boxes they share. Only the
// main window is shown by show().
// Destroyed before the application object: the views are detached first.
#include "app/attached_views.h"
#include "app/qt/about_box.h"
#include "app/qt/main_window.h"
#include "app/qt/message_box_opener.h"
#include "app/qt/progress_window.h"
#include "app/qt/qt_text.h"
#include "app/qt/terminal_window.h"
#include "log/packet_line.h"

#include <functional>

namespace zev1 {
class Tlpc1xxx;
}

namespace zev1::qt {

class app_windows {
public:
    explicit app_windows(Tlpc1xxx& app, clock_source clock = system_clock_source());
    void show(); // the main window; the others stay hidden until asked for

private:
    local_codec codec_;
    message_box_opener boxes_;

public:
    main_window main;
    about_box about;
    terminal_window log_win;
    progress_window progress_win;

private:
    attached_views views_;
};

// Shows a window that may be hidden, minimised or behind others, and gives it the focus.
void bring_to_front(QWidget& window);

// Runs the event loop until done() holds or timeout_ms have passed; false on the time-out.
// For tools and tests that drive the windows from outside.
bool run_events_until(const std::function<bool()>& done, int timeout_ms);

} // namespace zev1::qt
