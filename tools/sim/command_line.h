#pragma once
// The command line of zev1-sim, on CLI11.
#include "options.h"
#include "parse_result.h"

#include <string>
#include <vector>

namespace zev1::sim {

using parse_result = tools::parse_result<sim_options>;

// args without the program name; exe_dir is the folder of the running program, for the
// default link path.
parse_result parse_options(const std::vector<std::string>& args, const std::string& exe_dir);

} // namespace zev1::sim
