#pragma once
// The command line of zev1-wifi: one command and its options, in any order.
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zev1::cli {

enum class command { help, ports, read, write, automatic };

struct cli_options {
    command cmd = command::help;
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

struct parse_result {
    cli_options options;
    std::string error; // empty when the command line is good
};

// args without the program name. Accepts "--name value" and "--name=value".
parse_result parse_arguments(std::span<const std::string_view> args);

// The --help text.
std::string_view usage_text();

} // namespace zev1::cli
