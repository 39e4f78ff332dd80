#pragma once
// The command line of zev1-wifi, on CLI11: the options --verbose and --settings anywhere,
// one command, and that command's options after it.
#include "cli_options.h"
#include "parse_result.h"

#include <string>
#include <vector>

namespace zev1::cli {

using parse_result = tools::parse_result<cli_options>;

// args without the program name. default_settings: where the settings are kept without
// --settings (the help names that file).
parse_result parse_command_line(const std::vector<std::string>& args,
                                const settings_place& default_settings = {});

} // namespace zev1::cli
