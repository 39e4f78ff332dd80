#include "version.h"

namespace zev1 {

std::string_view version() {
    return ZEV1_VERSION;
}

} // namespace zev1
