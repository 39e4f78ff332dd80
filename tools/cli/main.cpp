// zev1-wifi: reads and writes a ZEV1 controller's WiFi settings from the command line.
#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "settings/ini_file.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace zev1::cli;
    const parse_result parsed = parse_command_line({argv + (argc > 0 ? 1 : 0), argv + argc},
                                                   zev1::Tini_file::default_place());
    if (!parsed.options) {
        std::FILE* to = parsed.status == 0 ? stdout : stderr;
        if ((std::fputs(parsed.text.c_str(), to) < 0 || std::fflush(to) != 0) &&
            parsed.status == 0) {
            std::fputs("zev1-wifi: cannot write the output\n", stderr);
            return static_cast<int>(exit_status::failure);
        }
        return parsed.status;
    }
    install_interrupt_handler();
    return static_cast<int>(run_command(*parsed.options, stdout, stderr));
}
