// zev1-wifi: reads and writes a ZEV1 controller's WiFi settings from the command line.
#include "cli_options.h"
#include "commands.h"
#include "console.h"

#include <cstdio>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    using namespace zev1::cli;
    std::vector<std::string_view> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    const parse_result parsed = parse_arguments(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "zev1-wifi: %s (see zev1-wifi --help)\n", parsed.error.c_str());
        return static_cast<int>(exit_status::usage);
    }
    install_interrupt_handler();
    return static_cast<int>(run_command(parsed.options, stdout, stderr));
}
