#pragma once
// The program's four windows, created in their fixed order (main window, about box,
// terminal, progress window) once the application object exists, and attached to it as
// the views of the link and the sequencer. Only the main window is shown by show().
// Destroyed before the application object: the views are detached first.
#include "app/about_box.h"
#include "app/main_window.h"
#include "app/progress_window.h"
#include "app/terminal_window.h"
#include "log/packet_line.h"

#include <QObject>

namespace zev1 {

class Tlpc1xxx;

class app_windows {
public:
    explicit app_windows(Tlpc1xxx& app, clock_source clock = system_clock_source());
    ~app_windows();
    app_windows(const app_windows&) = delete;
    app_windows& operator=(const app_windows&) = delete;

    // Shows the main window (the others stay hidden until asked for).
    void show();

    TSDIAppForm main;
    TAboutBox about;
    Tlog_win log_win;
    Tprogress_win progress_win;

private:
    Tlpc1xxx& app_;
};

// Shows a window that may be hidden or behind others, and gives it the focus.
void bring_to_front(QWidget& window);

} // namespace zev1
