// zev1-screenshot-tour: a developer tool, not part of the shipped program. It starts
// zev1-sim on the virtual port ports/ZEV1-SIM next to this program, builds the
// configurator exactly as the program does (with a throw-away settings file naming that
// port), walks through a read of the WiFi settings and saves images of the main window,
// the progress window, the terminal window and the about box as PNG files.
//
//   zev1-screenshot-tour <zev1-sim> <output folder>
//
// scripts/screenshots.sh runs it under Xvfb.
#include "app/application.h"
#include "app/qt/app_windows.h"
#include "serial/serial.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

namespace {

using zev1::qt::run_events_until;

bool save(QWidget& window, const QDir& out, const char* name) {
    QCoreApplication::processEvents();
    const QString path = out.filePath(QString::fromLatin1(name));
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

int fail(const char* what) {
    std::fprintf(stderr, "zev1-screenshot-tour: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEV1 wifi configurator"));
    if (argc != 3) {
        return fail("usage: zev1-screenshot-tour <zev1-sim> <output folder>");
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        return fail("cannot create the output folder");
    }
    const QString link = QCoreApplication::applicationDirPath() + QStringLiteral("/ports/ZEV1-SIM");
    if (QFile::exists(link)) {
        return fail("ports/ZEV1-SIM exists already: is ./run still running?");
    }

    QProcess sim;
    sim.setProgram(QString::fromLocal8Bit(argv[1]));
    sim.setArguments({"--link", link, "--ssid", "Heizraum", "--key", "Kessel-2024", "--security",
                      "wpa2", "--endpoint", "192.168.1.20,5555", "--delay", "15"});
    sim.setStandardOutputFile(QProcess::nullDevice());
    sim.start();
    if (!sim.waitForStarted(5000) || !run_events_until([&] { return QFile::exists(link); }, 5000)) {
        return fail("the simulator did not start");
    }

    QTemporaryDir settings_dir;
    {
        QFile settings(settings_dir.filePath(QStringLiteral("zev1-wifi-config.INI")));
        if (!settings.open(QIODevice::WriteOnly)) {
            return fail("cannot write the settings file");
        }
        settings.write("[com]\ncom=ZEV1-SIM\nopen=1\n");
    }

    int result = 0;
    {
        zev1::serial port;
        zev1::Tlpc1xxx app(
            std::filesystem::path(
                settings_dir.filePath(QStringLiteral("zev1-wifi-config.INI")).toStdString()),
            port);
        zev1::qt::app_windows windows(app);
        windows.show();
        auto* state = windows.main.findChild<QLabel*>(QStringLiteral("stav_portu"));
        auto* ssid = windows.main.findChild<QLineEdit*>(QStringLiteral("wifi_SSID"));
        auto* bar = windows.progress_win.findChild<QProgressBar*>(QStringLiteral("Bar"));

        if (!run_events_until([&] { return state->text().contains(QStringLiteral(" open  ZEV1")); },
                              10000)) {
            result = fail("the configurator did not connect");
        } else {
            sim.write("say Heizkreis 1 bereit\n");
            windows.main.findChild<QPushButton*>(QStringLiteral("btn_config_cti_jer"))->click();
            if (!run_events_until([&] { return bar->value() >= 40; }, 15000) ||
                !save(windows.progress_win, out, "progress-window.png")) {
                result = fail("no progress window");
            }
            if (!run_events_until([&] { return !ssid->text().isEmpty(); }, 20000)) {
                result = fail("the read did not finish");
            }
            run_events_until([] { return false; }, 300);
            if (!save(windows.main, out, "main-window.png")) {
                result = 1;
            }
            zev1::qt::bring_to_front(windows.log_win);
            windows.log_win.resize(702, 420);
            run_events_until([] { return false; }, 300);
            if (!save(windows.log_win, out, "terminal-window.png")) {
                result = 1;
            }
            zev1::qt::bring_to_front(windows.about);
            if (!save(windows.about, out, "about-box.png")) {
                result = 1;
            }
        }
    }
    sim.write("quit\n");
    if (!sim.waitForFinished(3000)) {
        sim.kill();
        sim.waitForFinished(3000);
    }
    return result;
}
