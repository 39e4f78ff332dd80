// zev1-wifi-config: the desktop tool. Builds the program's modules (serial port,
// application object with the settings file, link and sequencer), then its windows, and
// runs the message loop until the main window is closed. Windows go first, then the
// modules; the settings file is written last.
#include "app/app_windows.h"
#include "app/application.h"
#include "serial/serial.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEV1 wifi configurator"));
    // The terminal window may still be open when the main window closes: the program
    // ends with the main window.
    QApplication::setQuitOnLastWindowClosed(false);

    zev1::serial port;
    zev1::Tlpc1xxx app(zev1::Tini_file::default_path(), port);
    int result = 0;
    {
        zev1::app_windows windows(app);
        QObject::connect(&windows.main, &zev1::TSDIAppForm::closed, &qt, &QApplication::quit);
        windows.show();
        result = QApplication::exec();
    }
    return result;
}
