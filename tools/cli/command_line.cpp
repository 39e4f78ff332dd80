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
  7    a field too long; nothing sent (batch: a value of the plan refused,
       no port opened)
  8    batch: some units failed (each unit's status is in its report line)
  130  interrupted (Ctrl+C))";

constexpr const char* batch_footer =
    R"(The plan: a CSV file (RFC 4180, UTF-8), a header row naming the columns in
any order, one row a port; lines starting with # are ignored.
  port      required: a port name as "zev1-wifi ports" prints it (or a path),
            serial=TEXT (USB serial number), location=TEXT (USB location of
            a hub slot, as sysfs names it, e.g. 1-1.2), or * (every present
            port no other row names)
  action    auto (default), write or read
  ssid, key, security, endpoint
            write: the fields to set (empty: keep what was read); auto: the
            endpoint, empty for the default server; read: none
  verify    1 (default for write and auto: read back and compare) or 0
  label     free text for the report (the unit's sticker, a work order)
Example:
  port,action,ssid,security,endpoint,label
  ttyUSB0,write,plant-net,WPA2,"10.0.0.5,5555",unit-001
  serial=A5XK3RJT,auto,,,,unit-002
  *,read,,,,spare
(an endpoint holds a comma, so it is quoted; the key of the write row comes
from --key-file).
The plan is checked whole before any port is opened: a value write would
refuse (a field too long, a security type not in the list, a broken UTF-8
text) is status 7, anything else wrong with the plan status 2; the message
names the line and column.

Every unit runs at the same time, each port with its own link and 10 ms
ticks. A unit that fails does not stop the others; one whose read or write
timed out or lost its port is tried again (--retries). Standard output: one
line per finished unit and a summary; with --json one JSON object per unit
(port, label, usb_serial, id, action, status, ok, attempts, seconds, line,
message, written: the settings handed to the port with the key as ***,
read: for a read row), then {"ok":N,"failed":N,"seconds":S}. On a terminal
standard error shows a live line per port.
--watch sets up each port that appears and not again until it was unplugged,
until Ctrl+C or --count units. Ctrl+C ends the units in progress (a settings
frame already handed to the port is written whole and reported as written)
and reports them as interrupted (130).
Exit status: 0 every unit done, 8 some failed, 2 bad command line or plan,
7 a value refused, 3 no port for the plan, 130 interrupted.)";

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

    CLI::App* batch = add_command("batch", "set up many controllers at once from a plan (a CSV\n"
                                           "file), one report line per unit");
    batch_options& b = o.batch;
    batch->add_option("PLAN", b.plan, "the plan, a CSV file")
        ->required()
        ->check(tools::not_empty("a file name"));
    batch
        ->add_option("--key-file", b.key_file,
                     "the key for write rows whose key is empty: the\n"
                     "file's first line")
        ->type_name("FILE")
        ->check(tools::not_empty("a file name"));
    batch->add_option("--jobs", b.jobs, "at most N units at once (default: all)")
        ->type_name("N")
        ->check(CLI::Range(1, 1000));
    batch
        ->add_option("--retries", b.retries,
                     "repeat a unit that timed out or lost its port up\n"
                     "to N times (default 1)")
        ->type_name("N")
        ->check(CLI::Range(0, 100));
    flag(batch, "--json", o.json, "one JSON object per unit and a summary object");
    batch->add_option("--junit", b.junit, "also write a JUnit XML report, one test case a unit")
        ->type_name("FILE")
        ->check(tools::not_empty("a file name"));
    batch->add_option("--csv", b.csv, "also write a CSV report, one row a unit")
        ->type_name("FILE")
        ->check(tools::not_empty("a file name"));
    auto* watch =
        batch->add_flag("--watch", b.watch, "then set up each port that appears, until Ctrl+C")
            ->disable_flag_override();
    batch->add_option("--count", b.count, "with --watch: stop after N units")
        ->type_name("N")
        ->check(CLI::Range(1, 1000000))
        ->needs(watch);
    batch->footer(batch_footer);

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
    o.cmd = app.got_subcommand(batch)   ? command::batch
            : app.got_subcommand(ports) ? command::ports
            : app.got_subcommand(write) ? command::write
            : app.got_subcommand(read)  ? command::read
                                        : command::automatic;
    if (settings) {
        o.settings = settings_place(std::filesystem::path(*settings));
    }
    return {std::move(o), 0, {}};
}

} // namespace zev1::cli
