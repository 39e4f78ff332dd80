#include "command_line.h"

#include "command_line_app.h"
#include "hex.h"
#include "version.h"
#include "wifi_block.h"

namespace zev1::sim {
namespace {

#ifdef _WIN32
constexpr bool on_windows = true;
#else
constexpr bool on_windows = false;
#endif

CLI::Validator refuse(std::string why) {
    return {[why](const std::string&) { return why; }, ""};
}

CLI::Validator at_most(std::size_t bytes) {
    return {[bytes](const std::string& value) {
                return value.size() > bytes ? "longer than " + std::to_string(bytes) + " bytes"
                                            : std::string();
            },
            ""};
}

// Counts are decimal: CLI11 alone reads 010 as octal 8 and takes 0x10 too.
CLI::Validator decimal() {
    return {[](std::string& value) {
                if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
                    return std::string("needs a decimal number");
                }
                value.erase(0, std::min(value.find_first_not_of('0'), value.size() - 1));
                return std::string();
            },
            ""};
}

constexpr const char* description =
    "Plays the ZEV1 controller's end of the serial link. On Linux and other POSIX\n"
    "systems it creates a pseudo-terminal and the tool opens the symbolic link (--link)\n"
    "as its serial port; on Windows it opens a real COM port (--port), for example one\n"
    "end of a null-modem pair whose other end the tool opens.";

constexpr const char* footer = R"(Answers:
  P_PING (1)                 -> P_PING_A (2), no data
  P_ECHO (3)                 -> P_ECHO_A (4), identification text and one zero byte
  P_BOOTLOADER_READ (5)      12-byte body: length 1..256, address, status 0 (LE u32)
                             -> P_BOOTLOADER_READ_A (6): length, address, status 0, bytes
  P_BOOTLOADER_WRITE (7)     12-byte header + length bytes -> stored,
                             -> P_BOOTLOADER_WRITE_A (8): length, address, status 1
  type 100                   256-byte body: security @0 (10), SSID @10 (34), key @44 (65),
                             endpoint @109 (147), each zero-terminated -> texts stored
                             -> text frame (0) "wifi settings stored"; a refused body
                             -> text frame "wifi settings refused: <reason>"
  Ping and echo must carry no data. A malformed request (wrong size, length 0 or above
  256, a range outside the 1 MiB memory, non-zero status) is refused and not answered.
  Frames with a bad checksum, an impossible length or an unknown type are not answered.
  Every frame sent carries the header above; once it has sent a frame to the tool that
  has the port open, the simulator checks that every frame it receives echoes that
  header (a new opening of the port starts afresh).

Commands on standard input, one a line:
  unplug | replug               close the pseudo-terminal and remove the link | open a
                                new pseudo-terminal behind the same link
  silent on|off                 as --silent
  drop N | corrupt N            every Nth answer from now on (0: off)
  garbage N                     send N garbage bytes now
  say TEXT                      send a text frame
  delay MS                      as --delay
  cut TYPE N AT [unplug MS | mute MS]
                                the Nth answer of type TYPE from now on stops after AT
                                bytes, the rest is never sent (AT at or beyond its
                                length: it goes out whole); with unplug, 20 ms after
                                the cut the port is unplugged, and plugged in again MS
                                ms later; with mute, for MS ms after the cut nothing
                                is sent and what arrives is dropped (for a cable
                                pulled elsewhere). "cut off" forgets a cut not yet made
  wrong-address on|off, short-read on|off, echo-no-zero on|off, echo-long on|off,
  long-text on|off              as the options
  quit                          remove the link and exit

Standard output: one JSON object a line, written at once. Hex is upper case; frames are
shown whole, from the first start byte to the last checksum byte. In texts (the id, a
command line, stored settings) every byte from 0x7F up shows as \u00XX, control
characters as JSON escapes (\t, \n, \u0001).
  {"event":"ready","link":"...","pty":"/dev/pts/N","header":"C35A...","id":"ZEV1-SIM",
   "baud":115200,"state_loaded":false}               listening
  {"dir":"rx","type":5,"len":35,"hex":"2893..."}     a frame that passed the checksum
                                                     ("seq":true with a sequence byte)
  {"dir":"tx","type":6,"len":291,"hex":"2893..."}    a frame going out ("fault":"corrupt"
                                                     when corrupted)
  {"dir":"tx","garbage":true,"len":N,"hex":"..."}    garbage bytes going out
  {"event":"drop","type":6,"len":291}                an answer not sent (drop fault)
  {"event":"cut","type":6,"len":291,"at":145}        an answer cut: its first AT bytes
                                                     have been written, the rest is
                                                     dropped (its tx line, printed as it
                                                     starts, has "fault":"cut")
  {"event":"stored","what":"wifi"|"block",...}       memory changed
  {"event":"peer-open"} / {"event":"peer-closed"}    the tool opened / closed the port
  {"event":"lost","len":N,"hex":"..."}               bytes not sent: no tool has the port
                                                     open, so they are discarded
  {"event":"unplug",...} / {"event":"replug",...}    after those commands
  {"event":"mute-end","dropped":N}                   a mute after a cut is over; N bytes
                                                     that arrived meanwhile are dropped
  {"event":"command","line":"..."}                   a command carried out
  {"event":"exit"}                                   the link is removed, the program ends
  {"error":KIND,"errors":N,...}                      a protocol error; KIND is "checksum",
      "length", "skipped" (bytes outside any frame), "header", "malformed" or
      "unknown-type"; N counts the protocol errors so far
  {"error":"command"|"state"|"replug",...}           a bad command line, trouble with the
                                                     state file, a failed replug
Garbage bytes never contain the start byte 0x28.

Exit status:
  0    quit, end of standard input with --exit-on-eof, or stopped by a signal
  1    the port, the link or the state file could not be set up
  2    bad command line)";

} // namespace

parse_result parse_options(const std::vector<std::string>& args, const std::string& exe_dir) {
    sim_options o;
    o.link = exe_dir + "/ports/ZEV1-SIM";
    std::string header = to_hex(o.header);

    CLI::App app{description, "zev1-sim"};
    tools::set_up(app, version());

    auto* link = app.add_option("--link", o.link,
                                "(POSIX) symbolic link to the pseudo-terminal, created\n"
                                "and removed again at exit (default: ports/ZEV1-SIM\n"
                                "next to this program)")
                     ->type_name("PATH");
    auto* port = app.add_option("--port", o.port,
                                "(Windows, required there) the COM port to answer on,\n"
                                "opened at 115200 8N1; unplug closes it, replug opens\n"
                                "it again")
                     ->type_name("COMn");
    if (on_windows) {
        link->check(refuse("makes a pseudo-terminal, which Windows lacks; use --port COMn"));
        port->check(tools::not_empty("a port name"))->required();
    } else {
        link->check(tools::not_empty("a path"));
        port->check(refuse("opens a Windows COM port; here the simulator makes a "
                           "pseudo-terminal, named with --link PATH"));
    }
    app.add_option("--id", o.id, "identification text sent in P_ECHO_A (default\nZEV1-SIM)")
        ->type_name("TEXT")
        ->check(at_most(255));

    // wifi_fields: security, ssid, key, endpoint.
    auto stored = [&app](std::optional<std::string>& target, const wifi_field& field,
                         const char* text) {
        app.add_option("--" + std::string(field.name), target, text)
            ->type_name("TEXT")
            ->check(at_most(field.max_text()));
    };
    stored(o.wifi.ssid, wifi_fields[1], "network name stored at 0x530B (<= 33 bytes)");
    stored(o.wifi.key, wifi_fields[2], "password stored at 0x532C (<= 64 bytes)");
    stored(o.wifi.security, wifi_fields[0], "security type stored at 0x536D (<= 9 bytes)");
    stored(o.wifi.endpoint, wifi_fields[3],
           "server endpoint stored at 0x5377 (<= 146 bytes).\n"
           "Without --state (or with a new state file) all four\n"
           "texts are stored, empty when not given; with a loaded\n"
           "state file only the ones given replace the stored texts.");

    app.add_option("--state", o.state_file,
                   "load memory from FILE when it exists (at most 1 MiB,\n"
                   "the rest stays 0xFF); save it there after every write\n"
                   "(temporary file + rename)")
        ->type_name("FILE")
        ->check(tools::not_empty("a file name"));
    app.add_option("--baud", o.baud,
                   "pace the output at N baud, 10 bits a byte (default\n115200); 0 sends unpaced")
        ->type_name("N")
        ->transform(decimal());
    app.add_option("--header", header,
                   "the 16-byte frame header as 32 hex digits\n(default " + header + ")")
        ->type_name("HEX")
        ->check(CLI::Validator(
            [](const std::string& value) {
                frame_header h{};
                return parse_hex(value, h) ? "" : "needs 32 hex digits";
            },
            ""));
    app.add_flag("--exit-on-eof", o.exit_on_eof,
                 "quit when standard input ends (by default it keeps\n"
                 "running, so it can run in the background with stdin\n"
                 "from /dev/null)")
        ->disable_flag_override();

    const char* faults = "Faults (each can be changed at run time, see Commands)";
    auto flag = [&app, faults](const char* name, bool& target, const char* text) {
        app.add_flag(name, target, text)->disable_flag_override()->group(faults);
    };
    auto count = [&app, faults](const char* name, std::uint32_t& target, const char* type,
                                const char* text) {
        app.add_option(name, target, text)->type_name(type)->transform(decimal())->group(faults);
    };
    fault_settings& f = o.faults;
    flag("--silent", f.silent, "log what arrives, carry out and answer nothing");
    count("--drop-every", f.drop_every, "N", "do not send every Nth answer");
    count("--corrupt-every", f.corrupt_every, "N",
          "flip one byte (the third from the end) of every Nth\nanswer");
    count("--garbage", o.start_garbage, "N", "send N garbage bytes just before the first answer");
    flag("--wrong-address", f.wrong_address, "read answers carry the requested address + 0x100");
    flag("--short-read", f.short_read,
         "read answers carry the requested length in the header\n"
         "but only the first half of the bytes");
    flag("--echo-no-zero", f.echo_no_zero,
         "P_ECHO_A carries the identification without its\nzero byte");
    flag("--echo-long", f.echo_long,
         "P_ECHO_A carries 276 text bytes and a zero (a 300-byte\nframe)");
    flag("--long-text", f.long_text,
         "text frames carry 277 text bytes and no zero byte\n(300-byte frames)");
    count("--delay", f.delay_ms, "MS", "wait MS milliseconds before each answer");
    app.add_option_function<std::string>(
           "--cut", [&o](const std::string& value) { o.cut = parse_cut(value); },
           "\"TYPE N AT [unplug MS | mute MS]\": as the command\ncut, counted from the start")
        ->type_name("SPEC")
        ->check(CLI::Validator(
            [](const std::string& value) {
                return parse_cut(value) ? "" : "needs \"TYPE N AT [unplug MS | mute MS]\"";
            },
            ""))
        ->group(faults);

    app.footer(footer);

    tools::parse_outcome parsed = tools::parse(app, args);
    if (!parsed.run) {
        return {std::nullopt, parsed.status, std::move(parsed.text)};
    }
    parse_hex(header, o.header);
    return {std::move(o), 0, {}};
}

} // namespace zev1::sim
