#pragma once
// What reading a command line gives a program's main(): the options to run with, or the
// exit status and text to end with at once.
#include <optional>
#include <string>

namespace zev1::tools {

template <class Options>
struct parse_result {
    std::optional<Options> options; // empty: the program ends at once,
    int status = 0;                 // with this status,
    std::string text; // and the help or version for standard output (0) or the error line
};

} // namespace zev1::tools
