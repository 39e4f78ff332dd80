#pragma once
// What the command line of zev1-wifi asks for (read by command_line.cpp).
#include <filesystem>
#include <optional>
#include <string>

namespace zev1::cli {

enum class command { ports, read, write, automatic };

struct cli_options {
    command cmd = command::read;
    std::optional<std::string> port;
    // The settings file; default: next to the program (Tini_file::default_path()).
    std::optional<std::filesystem::path> settings;
    bool json = false;
    bool verbose = false;
    bool verify = false;
    // write: the fields to replace; an empty value clears the field.
    std::optional<std::string> ssid;
    std::optional<std::string> key;
    std::optional<std::string> security;
    std::optional<std::string> endpoint;
};

} // namespace zev1::cli
