#include "app/about.h"

#include "app/main_layout.h"

namespace zev1 {

std::string application_version() {
    return ZEV1_VERSION;
}

std::array<std::string, 3> about_texts() {
    return {std::string(application_title), "Version " + application_version(),
            "WiFi settings of the ZEV1 heating controller"};
}

} // namespace zev1
