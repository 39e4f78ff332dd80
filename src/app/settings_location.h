#pragma once
// Where the configurator keeps its settings file. The one place that chooses it, for
// both toolkits: zev1-wifi-config.INI next to the program when that folder can be
// written, else in the user's settings folder (Tini_file::default_place()).
#include "settings/settings_place.h"

namespace zev1 {

settings_place settings_file_path();

} // namespace zev1
