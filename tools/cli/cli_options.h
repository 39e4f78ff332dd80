#pragma once
// What the command line of zev1-wifi asks for (read by command_line.cpp).
#include "settings/settings_place.h"

#include <optional>
#include <string>

namespace zev1::cli {

enum class command { ports, read, write, automatic };

struct cli_options {
    command cmd = command::read;
    std::optional<std::string> port;
    // The settings file: the one --settings names, else the program's own
    // (Tini_file::default_place()).
    settings_place settings;
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
