// zev1-wifi-config: the desktop tool (Qt). Builds the program's modules (serial port,
// application object with the settings file, link and sequencer), then its windows, and
// runs the message loop until the main window is closed. Windows go first, then the
// modules; the settings file is written last.
#include "app/application.h"
#include "app/main_layout.h"
#include "app/qt/app_windows.h"
#include "app/qt/qt_text.h"
#include "app/settings_location.h"
#include "serial/serial.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName(zev1::qt::qstr(zev1::application_title));
    // The installed desktop entry, whose icon the desktop shows for the windows.
    QGuiApplication::setDesktopFileName(QStringLiteral("zev1-wifi-config"));
    // The terminal window may still be open when the main window closes: the program
    // ends with the main window.
    QApplication::setQuitOnLastWindowClosed(false);

    zev1::serial port;
    zev1::Tlpc1xxx app(zev1::settings_file_path(), port);
    int result = 0;
    {
        zev1::qt::app_windows windows(app);
        QObject::connect(&windows.main, &zev1::qt::main_window::closed, &qt, &QApplication::quit);
        windows.show();
        result = QApplication::exec();
    }
    return result;
}
