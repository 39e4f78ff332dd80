#include "options.h"

#include "hex.h"
#include "wifi_block.h"

#include <charconv>
#include <string_view>

namespace zev1::sim {

frame_header default_header() {
    // Non-zero in every byte, not text, not symmetric: a tool that sends zeros or its own
    // bytes instead of echoing this is seen at once.
    return {0xC3, 0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
            0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0xA5, 0x3C};
}

std::string help_text() {
    return R"(usage: zev1-sim [options]

Plays the ZEV1 controller's end of the serial link. On Linux and other POSIX systems it
creates a pseudo-terminal and the tool opens the symbolic link (--link) as its serial
port; on Windows it opens a real COM port (--port), for example one end of a null-modem
pair whose other end the tool opens.

Options:
  --link PATH         (POSIX) symbolic link to the pseudo-terminal, created and removed
                      again at exit (default: ports/ZEV1-SIM next to this program)
  --port COMn         (Windows, required there) the COM port to answer on, opened at
                      115200 8N1; unplug closes it, replug opens it again
  --id TEXT           identification text sent in P_ECHO_A (default ZEV1-SIM, <= 255 bytes)
  --ssid TEXT         network name stored at 0x530B (<= 32 bytes)
  --key TEXT          password stored at 0x532C (<= 64 bytes)
  --security TEXT     security type stored at 0x536D (<= 9 bytes)
  --endpoint TEXT     server endpoint stored at 0x5377 (<= 146 bytes)
                      Without --state (or with a new state file) all four texts are
                      stored, empty when not given; with a loaded state file only the
                      ones given replace the stored texts.
  --state FILE        load memory from FILE when it exists (at most 1 MiB, the rest stays
                      0xFF); save it there after every write (temporary file + rename)
  --baud N            pace the output at N baud, 10 bits a byte (default 115200);
                      0 sends unpaced
  --header HEX        the 16-byte frame header as 32 hex digits
                      (default C35A0102030405060708090A0B0CA53C)
  --exit-on-eof       quit when standard input ends (by default it keeps running, so it
                      can run in the background with stdin from /dev/null)
  -h, --help          this text

Faults (each can be changed at run time, see Commands):
  --silent            log what arrives, carry out and answer nothing
  --drop-every N      do not send every Nth answer
  --corrupt-every N   flip one byte (the third from the end) of every Nth answer
  --garbage N         send N garbage bytes just before the first answer
  --wrong-address     read answers carry the requested address + 0x100
  --short-read        read answers carry the requested length in the header but only the
                      first half of the bytes
  --echo-no-zero      P_ECHO_A carries the identification without its zero byte
  --echo-long         P_ECHO_A carries 276 text bytes and a zero (a 300-byte frame)
  --long-text         text frames carry 277 text bytes and no zero byte (300-byte frames)
  --delay MS          wait MS milliseconds before each answer

Answers:
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
  wrong-address on|off, short-read on|off, echo-no-zero on|off, echo-long on|off,
  long-text on|off              as the options
  quit                          remove the link and exit

Standard output: one JSON object a line, written at once. Hex is upper case; frames are
shown whole, from the first start byte to the last checksum byte.
  {"event":"ready","link":"...","pty":"/dev/pts/N","header":"C35A...","id":"ZEV1-SIM",
   "baud":115200,"state_loaded":false}               listening
  {"dir":"rx","type":5,"len":35,"hex":"2893..."}     a frame that passed the checksum
                                                     ("seq":true with a sequence byte)
  {"dir":"tx","type":6,"len":291,"hex":"2893..."}    a frame going out ("fault":"corrupt"
                                                     when corrupted)
  {"dir":"tx","garbage":true,"len":N,"hex":"..."}    garbage bytes going out
  {"event":"drop","type":6,"len":291}                an answer not sent (drop fault)
  {"event":"stored","what":"wifi"|"block",...}       memory changed
  {"event":"peer-open"} / {"event":"peer-closed"}    the tool opened / closed the port
  {"event":"lost","len":N,"hex":"..."}               bytes not sent: no tool has the port
                                                     open, so they are discarded
  {"event":"unplug",...} / {"event":"replug",...}    after those commands
  {"event":"command","line":"..."}                   a command carried out
  {"event":"exit"}                                   the link is removed, the program ends
  {"error":KIND,"errors":N,...}                      a protocol error; KIND is "checksum",
      "length", "skipped" (bytes outside any frame), "header", "malformed" or
      "unknown-type"; N counts the protocol errors so far
  {"error":"command"|"state"|"replug",...}           a bad command line, trouble with the
                                                     state file, a failed replug
Garbage bytes never contain the start byte 0x28.
)";
}

namespace {

bool parse_number(std::string_view text, std::uint32_t& out) {
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc{} && ptr == end && !text.empty();
}

parse_result fail(std::string message) {
    parse_result r;
    r.exit_code = 2;
    r.message = "zev1-sim: " + std::move(message) + " (see --help)\n";
    return r;
}

} // namespace

parse_result parse_options(const std::vector<std::string>& args, const std::string& exe_dir) {
    sim_options o;
    o.header = default_header();
    o.link = exe_dir + "/ports/ZEV1-SIM";
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inline_value;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            inline_value = name.substr(eq + 1);
            name.resize(eq);
        }
        // Fetches the option's value, from "--x=v" or the next argument.
        auto value = [&](std::string& out) {
            if (inline_value) {
                out = *inline_value;
                return true;
            }
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](std::uint32_t& out) {
            std::string text;
            return value(text) && parse_number(text, out);
        };
        auto flag = [&](bool& out) {
            out = true;
            return !inline_value;
        };
        auto text_option = [&](std::optional<std::string>& out) {
            std::string text;
            if (!value(text)) {
                return false;
            }
            out = std::move(text);
            return true;
        };

        bool ok = true;
        if (name == "-h" || name == "--help") {
            parse_result r;
            r.message = help_text();
            return r;
        } else if (name == "--link") {
#ifdef _WIN32
            return fail("--link makes a pseudo-terminal, which Windows lacks; use --port COMn");
#else
            ok = value(o.link) && !o.link.empty();
#endif
        } else if (name == "--port") {
#ifdef _WIN32
            ok = value(o.port) && !o.port.empty();
#else
            return fail("--port opens a Windows COM port; here the simulator makes a "
                        "pseudo-terminal, named with --link PATH");
#endif
        } else if (name == "--id") {
            ok = value(o.id) && o.id.size() <= 255;
        } else if (name == "--ssid") {
            ok = text_option(o.wifi.ssid);
        } else if (name == "--key") {
            ok = text_option(o.wifi.key);
        } else if (name == "--security") {
            ok = text_option(o.wifi.security);
        } else if (name == "--endpoint") {
            ok = text_option(o.wifi.endpoint);
        } else if (name == "--state") {
            ok = value(o.state_file) && !o.state_file.empty();
        } else if (name == "--baud") {
            ok = number(o.baud);
        } else if (name == "--header") {
            std::string text;
            ok = value(text) && parse_hex(text, o.header);
        } else if (name == "--exit-on-eof") {
            ok = flag(o.exit_on_eof);
        } else if (name == "--silent") {
            ok = flag(o.faults.silent);
        } else if (name == "--drop-every") {
            ok = number(o.faults.drop_every);
        } else if (name == "--corrupt-every") {
            ok = number(o.faults.corrupt_every);
        } else if (name == "--garbage") {
            ok = number(o.start_garbage);
        } else if (name == "--wrong-address") {
            ok = flag(o.faults.wrong_address);
        } else if (name == "--short-read") {
            ok = flag(o.faults.short_read);
        } else if (name == "--echo-no-zero") {
            ok = flag(o.faults.echo_no_zero);
        } else if (name == "--echo-long") {
            ok = flag(o.faults.echo_long);
        } else if (name == "--long-text") {
            ok = flag(o.faults.long_text);
        } else if (name == "--delay") {
            ok = number(o.faults.delay_ms);
        } else {
            return fail("unknown option " + args[i]);
        }
        if (!ok) {
            return fail("bad or missing value for " + name);
        }
    }
    const std::optional<std::string>* texts[] = {&o.wifi.security, &o.wifi.ssid, &o.wifi.key,
                                                 &o.wifi.endpoint};
    for (std::size_t f = 0; f < wifi_fields.size(); ++f) {
        if (*texts[f] && (*texts[f])->size() > wifi_fields[f].max_text()) {
            return fail("--" + std::string(wifi_fields[f].name) + " longer than " +
                        std::to_string(wifi_fields[f].max_text()) + " bytes");
        }
    }
#ifdef _WIN32
    if (o.port.empty()) {
        return fail("--port COMn is required on Windows");
    }
#endif
    parse_result r;
    r.options = std::move(o);
    return r;
}

} // namespace zev1::sim
