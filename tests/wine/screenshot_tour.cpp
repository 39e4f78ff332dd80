// wine_screenshot_tour: a developer tool, not a test. Walks the Win32 windows under Wine
// through a read of the WiFi settings from the native zev1-sim on COM5, with the window
// driver of the scenarios, and asks for a picture of each window on the way: it prints
//   shot <name> <left> <top> <width> <height>
// (the window's outer rectangle on the screen) and waits for a line on its standard input
// once the picture is taken. scripts/screenshots-windows.sh runs it under Xvfb and takes
// the pictures.
#include "windows/driver.h"
#include "windows/simulator.h"
#include "windows/test_area.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

using namespace zev1::scenario;

void shot(program_driver& p, const char* window, const char* name) {
    p.pause(400); // painted
    const zev1::screen_rect r = p.outer_geometry(window);
    std::printf("shot %s %d %d %d %d\n", name, r.left, r.top, r.width, r.height);
    std::fflush(stdout);
    std::string done;
    std::getline(std::cin, done);
}

int fail(const char* what) {
    std::fprintf(stderr, "wine_screenshot_tour: %s\n", what);
    return 1;
}

} // namespace

int main() {
    simulator sim({"--ssid", "Heizraum", "--key", "Kessel-2024", "--security", "wpa2", "--endpoint",
                   "192.168.1.20,5555"});
    if (!sim.ready()) {
        return fail("the simulator did not start");
    }
    test_area area;
    // Czech captions: they show the letters with diacritics.
    area.write_settings(remembered_port(sim) + "[main]\nnemecky=0\n");
    auto p = start_program({area.settings(), {}});
    if (!p->wait_for([&] { return p->text("stav_portu") == "COM5 open  ZEV1-SIM"; }, 20000)) {
        return fail("the configurator did not connect");
    }
    sim.command("say Kotel 1 pripraven");
    p->click("btn_config_cti_jer");
    if (!p->wait_for([&] { return p->value("Bar") >= 40; }, 30000)) {
        return fail("no progress window");
    }
    shot(*p, "progress_win", "windows-progress-window");
    if (!p->wait_for([&] { return p->text("wifi_SSID") == "Heizraum"; }, 60000)) {
        return fail("the read did not finish");
    }
    shot(*p, "SDIAppForm", "windows-main-window");
    p->shortcut("Ctrl+T");
    p->resize_client("log_win", 702, 420);
    shot(*p, "log_win", "windows-terminal-window");
    p->shortcut("F1");
    shot(*p, "AboutBox", "windows-about-box");
    return 0;
}
