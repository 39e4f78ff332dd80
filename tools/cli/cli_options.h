#pragma once
// What the command line of zev1-wifi asks for (read by command_line.cpp).
#include "settings/settings_place.h"

#include <optional>
#include <string>

namespace zev1::cli {

enum class command { ports, read, write, automatic, batch };

// batch: the plan and how it is carried out and reported.
struct batch_options {
    std::string plan;
    std::optional<std::string> key_file;
    int jobs = 0;    // units at once; 0: all
    int retries = 1; // repeats of a unit that timed out or lost its port
    bool watch = false;
    int count = 0; // --watch: stop after this many units; 0: until Ctrl+C
    std::optional<std::string> junit;
    std::optional<std::string> csv;
};

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
    batch_options batch;
};

} // namespace zev1::cli
