#include "app/settings_location.h"

#include "settings/ini_file.h"

namespace zev1 {

settings_place settings_file_path() {
    return Tini_file::default_place();
}

} // namespace zev1
