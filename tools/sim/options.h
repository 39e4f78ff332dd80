#pragma once
// Command-line options of the simulator and the run-time fault switches they preset.
#include "link/frame.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zev1::sim {

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

struct wifi_texts {
    std::optional<std::string> security;
    std::optional<std::string> ssid;
    std::optional<std::string> key;
    std::optional<std::string> endpoint;
};

struct sim_options {
    std::string link;                // POSIX: symlink to the pseudo-terminal's slave
    std::string port;                // Windows: the COM port to play the controller on
    std::string id = "ZEV1-SIM";     // identification text in P_ECHO_A
    std::string state_file;          // empty: memory lives only in the process
    std::uint32_t baud = 115200;     // 0: unpaced
    std::uint32_t start_garbage = 0; // garbage bytes sent before the first answer
    bool exit_on_eof = false;
    frame_header header{};
    wifi_texts wifi;
    fault_settings faults;
};

// The header the simulator puts into every frame it sends unless --header says otherwise.
frame_header default_header();

struct parse_result {
    std::optional<sim_options> options; // empty when the program should exit
    int exit_code = 0;                  // exit status when options is empty
    std::string message;                // text for stdout (help) or stderr (error)
};

// exe_dir is the folder of the running program, for the default link path.
parse_result parse_options(const std::vector<std::string>& args, const std::string& exe_dir);

std::string help_text();

} // namespace zev1::sim
