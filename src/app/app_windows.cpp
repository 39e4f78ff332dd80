#include "app/app_windows.h"

#include "app/application.h"

#include <utility>

namespace zev1 {

app_windows::app_windows(Tlpc1xxx& app, clock_source clock)
    : main(app), log_win(app, std::move(clock)), app_(app) {
    app_.attach_views(&log_win, &main, &progress_win);
    QObject::connect(&main, &TSDIAppForm::terminal_requested, &log_win,
                     [this] { bring_to_front(log_win); });
    QObject::connect(&main, &TSDIAppForm::about_requested, &about,
                     [this] { bring_to_front(about); });
}

app_windows::~app_windows() {
    app_.attach_views(nullptr, nullptr, nullptr);
}

void app_windows::show() {
    main.show();
}

void bring_to_front(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace zev1
