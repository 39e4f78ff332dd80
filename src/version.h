#pragma once
// The program version shown by --version and in the packages; set once, by the project's
// version in CMake.
#include <string_view>

namespace zev1 {

std::string_view version();

} // namespace zev1
