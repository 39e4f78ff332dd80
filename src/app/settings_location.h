#pragma once
// Where the configurator keeps its settings file. The one place that chooses it, for
// both toolkits: the program's path with the extension ".INI" (zev1-wifi-config.INI next
// to the program).
#include <filesystem>

namespace zev1 {

std::filesystem::path settings_file_path();

} // namespace zev1
