#include "app/qt/app_windows.h"

#include "app/application.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <utility>

namespace zev1::qt {

app_windows::app_windows(Tlpc1xxx& app, clock_source clock)
    : main(app, codec_, boxes_.queue()), about(app.path()), log_win(app, codec_, std::move(clock)),
      progress_win(codec_, boxes_.queue()),
      views_(app, log_win.form(), main.form(), progress_win.form()) {
    boxes_.set_owner(&main);
    QObject::connect(&main, &main_window::terminal_requested, &log_win,
                     [this] { bring_to_front(log_win); });
    QObject::connect(&main, &main_window::about_requested, &about, [this] {
        about.show_texts(main.form().german());
        bring_to_front(about);
    });
}

void app_windows::show() {
    main.show();
}

void bring_to_front(QWidget& window) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

bool run_events_until(const std::function<bool()>& done, int timeout_ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout_ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

} // namespace zev1::qt
