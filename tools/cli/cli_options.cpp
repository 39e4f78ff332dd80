#include "cli_options.h"

#include <array>

namespace zev1::cli {
namespace {

struct command_name {
    std::string_view name;
    command cmd;
};

constexpr std::array<command_name, 5> commands = {{
    {"help", command::help},
    {"ports", command::ports},
    {"read", command::read},
    {"write", command::write},
    {"auto", command::automatic},
}};

// Which command may carry which option.
bool takes_port(command c) {
    return c == command::read || c == command::write || c == command::automatic;
}

} // namespace

std::string_view usage_text() {
    return "usage: zev1-wifi [--verbose] [--settings FILE] COMMAND [options]\n"
           "\n"
           "Reads and writes the WiFi settings of a ZEV1 controller on a serial port.\n"
           "\n"
           "Commands:\n"
           "  ports                      list the present ports, one a line\n"
           "  read  [--port NAME] [--json]\n"
           "                             print id, ssid, key, security and endpoint\n"
           "  write [--port NAME] [--ssid S] [--key K] [--security T] [--endpoint E]\n"
           "        [--verify] [--json]  read the settings, replace the fields given,\n"
           "                             send them; --verify reads them back and compares\n"
           "  auto  [--port NAME] [--verify] [--json]\n"
           "                             point the controller at the default server\n"
           "\n"
           "Options:\n"
           "  --port NAME      the serial port (default: the port remembered in the settings\n"
           "                   file, else the only present port)\n"
           "  --json           print the settings as one JSON object\n"
           "  --verbose        the traffic log on standard error\n"
           "  --settings FILE  the settings file (default: zev1-wifi.INI next to the program)\n"
           "  -h, --help       this text\n"
           "\n"
           "Security types: AUTO OPEN WEP WPA WPAAES WPA2AES WPA2TKIP WPA2 (letter case\n"
           "ignored; another text is sent as given). Field limits in bytes: ssid 33,\n"
           "key 64, security 9, endpoint 146.\n"
           "\n"
           "Exit status: 0 done; 2 bad command line; 3 no port, or the port cannot be\n"
           "opened; 4 no answer from the controller within 3 s; 5 transfer aborted after\n"
           "five time-outs; 6 --verify found other settings; 7 a field too long (nothing\n"
           "sent); 130 interrupted (Ctrl+C); 1 other failures.\n";
}

parse_result parse_arguments(std::span<const std::string_view> args) {
    parse_result r;
    cli_options& o = r.options;
    bool have_command = false;

    auto fail = [&r](std::string text) {
        r.error = std::move(text);
        return r;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            if (have_command) {
                return fail("unexpected argument: " + std::string(arg));
            }
            bool known = false;
            for (const auto& c : commands) {
                if (c.name == arg) {
                    o.cmd = c.cmd;
                    known = true;
                }
            }
            if (!known) {
                return fail("unknown command: " + std::string(arg));
            }
            have_command = true;
            continue;
        }

        std::string_view name = arg;
        std::optional<std::string_view> inline_value;
        if (const auto eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inline_value = arg.substr(eq + 1);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inline_value) {
                return std::string(*inline_value);
            }
            if (i + 1 < args.size()) {
                return std::string(args[++i]);
            }
            return std::nullopt;
        };
        auto flag = [&](bool& target) {
            if (inline_value) {
                return false;
            }
            target = true;
            return true;
        };

        bool good = true;
        if (name == "-h" || name == "--help") {
            o.cmd = command::help;
            have_command = true;
            good = !inline_value;
        } else if (name == "--json") {
            good = flag(o.json);
        } else if (name == "--verbose" || name == "-v") {
            good = flag(o.verbose);
        } else if (name == "--verify") {
            good = flag(o.verify);
        } else {
            std::optional<std::string>* target = nullptr;
            if (name == "--port") {
                target = &o.port;
            } else if (name == "--ssid") {
                target = &o.ssid;
            } else if (name == "--key") {
                target = &o.key;
            } else if (name == "--security") {
                target = &o.security;
            } else if (name == "--endpoint") {
                target = &o.endpoint;
            }
            if (target != nullptr) {
                *target = value();
                if (!*target) {
                    return fail("option " + std::string(name) + " needs a value");
                }
            } else if (name == "--settings") {
                const auto v = value();
                if (!v || v->empty()) {
                    return fail("option --settings needs a file name");
                }
                o.settings = std::filesystem::path(*v);
            } else {
                return fail("unknown option: " + std::string(name));
            }
        }
        if (!good) {
            return fail("option " + std::string(name) + " takes no value");
        }
    }

    if (!have_command) {
        return fail("no command given");
    }
    if (o.cmd == command::help) {
        return r;
    }
    if (o.port && (!takes_port(o.cmd) || o.port->empty())) {
        return fail(o.port->empty() ? "option --port needs a port name"
                                    : "option --port does not go with this command");
    }
    const bool fields = o.ssid || o.key || o.security || o.endpoint;
    if (fields && o.cmd != command::write) {
        return fail("--ssid, --key, --security and --endpoint go with write only");
    }
    if (o.verify && o.cmd != command::write && o.cmd != command::automatic) {
        return fail("--verify goes with write and auto only");
    }
    if (o.json && o.cmd == command::ports) {
        return fail("--json does not go with ports");
    }
    return r;
}

} // namespace zev1::cli
