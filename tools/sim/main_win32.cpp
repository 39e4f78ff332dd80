// zev1-sim.exe: the ZEV1 controller's end of the serial link, on a Windows COM port.
#include "command_line.h"
#include "simulator.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

std::atomic<bool> stop_requested{false};

BOOL WINAPI on_console_event(DWORD) {
    stop_requested.store(true);
    return TRUE; // the loop ends within its longest wait and closes the port
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // There is no link to place on Windows; the folder is unused.
    zev1::sim::parse_result parsed = zev1::sim::parse_options(args, ".");
    if (!parsed.options) {
        std::fputs(parsed.text.c_str(), parsed.status == 0 ? stdout : stderr);
        return parsed.status;
    }
    ::SetConsoleCtrlHandler(&on_console_event, TRUE);
    // JSON lines end in a bare line feed, as on POSIX, so one parser reads both.
    ::_setmode(::_fileno(stdout), _O_BINARY);

    zev1::sim::simulator sim(std::move(*parsed.options));
    if (!sim.start()) {
        return 1;
    }
    return sim.run(stop_requested);
}
