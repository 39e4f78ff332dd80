#pragma once
// What the simulator is started with (read from its command line by command_line.cpp),
// and the run-time fault switches it presets.
#include "link/frame.h"
#include "serial/line_format.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zev1::sim {

// The header the simulator puts into every frame it sends unless --header says otherwise.
// Non-zero in every byte, not text, not symmetric: a tool that sends zeros or its own
// bytes instead of echoing this is seen at once.
inline constexpr frame_header default_header{0xC3, 0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                                             0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0xA5, 0x3C};

// Faults that can be switched on from the command line and changed later on stdin.
struct fault_settings {
    bool silent = false;          // receive and log, but carry out and answer nothing
    std::uint32_t drop_every = 0; // 0: off; N: every Nth answer is not sent
    std::uint32_t corrupt_every = 0;
    bool wrong_address = false; // read answers carry address + 0x100
    bool short_read = false;    // read answers carry only half of the requested bytes
    bool echo_no_zero = false;  // P_ECHO_A without the terminating zero
    bool echo_long = false;     // P_ECHO_A with 277 data bytes
    bool long_text = false;     // text frames padded to 277 bytes, no zero byte
    std::uint32_t delay_ms = 0; // wait before each answer
};

// A cut: the nth answer of one type (counted from when the cut is set) stops after `at`
// bytes and the rest is never sent. Then, optionally, what a pulled cable does: the port
// is unplugged and plugged in again ms later, or (when something else pulls the cable,
// e.g. a virtual machine's USB adapter in front of the port) the simulator is deaf and
// mute for ms: it sends nothing and drops what arrives.
struct cut_plan {
    enum class then { nothing, unplug, mute };
    std::uint8_t type = 0;
    std::uint32_t nth = 1;
    std::uint32_t at = 0;
    then after = then::nothing;
    std::uint32_t ms = 0;
};

// "TYPE N AT [unplug MS | mute MS]" as the cut command and --cut take it; empty when
// malformed.
std::optional<cut_plan> parse_cut(std::string_view words);

struct wifi_texts {
    std::optional<std::string> security;
    std::optional<std::string> ssid;
    std::optional<std::string> key;
    std::optional<std::string> endpoint;
};

struct sim_options {
    std::string link;                    // POSIX: symlink to the pseudo-terminal's slave
    std::string port;                    // Windows: the COM port to play the controller on
    std::string id = "ZEV1-SIM";         // identification text in P_ECHO_A
    std::string state_file;              // empty: memory lives only in the process
    std::uint32_t baud = link_baud_rate; // 0: unpaced
    std::uint32_t start_garbage = 0;     // garbage bytes sent before the first answer
    bool exit_on_eof = false;
    frame_header header = default_header;
    wifi_texts wifi;
    fault_settings faults;
    std::optional<cut_plan> cut;
};

} // namespace zev1::sim
