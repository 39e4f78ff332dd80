#include "command_line.h"

#include "command_line_app.h"
#include "memory/wifi_settings.h"
#include "settings/file_io.h"
#include "version.h"

namespace zev1::cli {
namespace {

constexpr const char* security_and_limits =
    R"(Security types: AUTO OPEN WEP WPA WPAAES WPA2AES WPA2TKIP WPA2
(letter case ignored; another text is sent as given).
Field limits in bytes: ssid 33, key 64, security 9, endpoint 146. A longer text
is refused before the port is opened; nothing is ever cut.)";

// Where the settings are kept.
#ifdef _WIN32
constexpr const char* settings_rule =
    R"(Settings file: zev1-wifi.INI next to the program when that folder can be
written, else in the user's settings folder, %APPDATA%\ZEV1\; one next to the
program is still read while the user's folder has none.)";
#else
constexpr const char* settings_rule =
    R"(Settings file: zev1-wifi.INI next to the program when that folder can be
written, else in the user's settings folder, $XDG_CONFIG_HOME/zev1/ (else
~/.config/zev1/); one next to the program is still read while the user's
folder has none.)";
#endif

// The rule and the file in use for this command line.
std::string settings_text(const std::filesystem::path& in_use) {
    std::string text = std::string(settings_rule) + "\n";
    if (!in_use.empty()) {
        text += "In use: " + path_text(in_use) + "\n";
    }
    return text;
}

constexpr const char* exit_statuses = R"(Exit status:
  0    done
  1    another failure (the output could not be written, for one)
  2    bad command line
  3    no port, the port cannot be opened, or it closed before the settings
       were written
  4    no answer from the controller within 3 s
  5    transfer aborted after five time-outs
  6    --verify read back other settings
  7    a field too long; nothing sent
  130  interrupted (Ctrl+C))";

} // namespace

parse_result parse_command_line(const std::vector<std::string>& args,
                                const settings_place& default_settings) {
    cli_options o;
    o.settings = default_settings;
    std::optional<std::string> settings;

    CLI::App app{"Reads and writes the WiFi settings of a ZEV1 controller on a serial port.",
                 "zev1-wifi"};
    tools::set_up(app, version());
    app.fallthrough(); // --verbose and --settings after the command too
    app.add_flag("-v,--verbose", o.verbose, "the traffic log and the port state on standard error")
        ->disable_flag_override();
    app.add_option("--settings", settings,
                   "the settings file (default: zev1-wifi.INI next to the\n"
                   "program, or in the user's settings folder)")
        ->type_name("FILE")
        ->check(tools::not_empty("a file name"));

    auto add_command = [&app](const char* name, const char* description) {
        CLI::App* c = app.add_subcommand(name, description);
        c->group("Commands");
        return c;
    };
    auto port = [&o](CLI::App* c) {
        c->add_option("--port", o.port,
                      "the serial port (default: the port remembered in the\n"
                      "settings file, else the only present port)")
            ->type_name("NAME")
            ->check(tools::not_empty("a port name"));
    };
    auto text = [](CLI::App* c, const char* name, std::optional<std::string>& target,
                   const char* type, const char* description) {
        c->add_option(name, target, description)->type_name(type);
    };
    auto flag = [](CLI::App* c, const char* name, bool& target, const char* description) {
        c->add_flag(name, target, description)->disable_flag_override();
    };
    const char* json_settings = "print the settings as one JSON object";

    CLI::App* ports =
        add_command("ports", "list the present ports, one a line with what identifies each");
    flag(ports, "--json", o.json, "print them as one JSON array of port objects");

    CLI::App* read = add_command("read", "print id, ssid, key, security and endpoint");
    port(read);
    flag(read, "--json", o.json, json_settings);

    CLI::App* write = add_command("write", "read the settings, replace the fields given (an\n"
                                           "empty value clears a field) and send them");
    port(write);
    text(write, "--ssid", o.ssid, "S", "the network name");
    text(write, "--key", o.key, "K", "the password");
    text(write, "--security", o.security, "T", "the security type");
    text(write, "--endpoint", o.endpoint, "E", "the server, as host,port");
    flag(write, "--verify", o.verify, "read the settings back and compare them");
    flag(write, "--json", o.json, json_settings);
    write->footer(security_and_limits);

    CLI::App* automatic =
        add_command("auto", ("read the settings and point the controller at the\ndefault server " +
                             std::string(default_server_endpoint) +
                             " (host,port: the server the\ncontroller connects to; set when "
                             "the program is built,\nin src/memory/wifi_settings.h)")
                                .c_str());
    port(automatic);
    flag(automatic, "--verify", o.verify, "read the settings back and compare them");
    flag(automatic, "--json", o.json, json_settings);

    app.require_subcommand(1);
    // A function, so that a --settings given with --help names the file in use.
    app.footer([&settings, &default_settings] {
        return std::string("Run \"zev1-wifi COMMAND --help\" for one command. write and auto "
                           "print\nwhat they sent. The port is remembered in the settings file "
                           "once it\nhas opened.\n\n") +
               settings_text(settings ? std::filesystem::path(*settings) : default_settings.write) +
               "\n" + security_and_limits + "\n\n" + exit_statuses;
    });

    tools::parse_outcome parsed = tools::parse(app, args);
    if (!parsed.run) {
        return {std::nullopt, parsed.status, std::move(parsed.text)};
    }
    o.cmd = app.got_subcommand(ports)   ? command::ports
            : app.got_subcommand(write) ? command::write
            : app.got_subcommand(read)  ? command::read
                                        : command::automatic;
    if (settings) {
        o.settings = settings_place(std::filesystem::path(*settings));
    }
    return {std::move(o), 0, {}};
}

} // namespace zev1::cli
