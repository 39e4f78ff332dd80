#pragma once
// zev1-wifi batch: reads and checks the plan, hands its rows to the present ports, runs
// every unit at once (each on a thread of its own), reports each as it finishes and
// keeps a live line per port on a terminal; with --watch it goes on with each port that
// appears.
#include "cli_options.h"
#include "exit_status.h"

#include <cstdio>

namespace zev1::cli {

exit_status run_batch(const cli_options& options, std::FILE* out, std::FILE* err);

} // namespace zev1::cli
