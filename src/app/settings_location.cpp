#include "app/settings_location.h"

#include "settings/ini_file.h"

namespace zev1 {

std::filesystem::path settings_file_path() {
    return Tini_file::default_path();
}

} // namespace zev1
