#include "log/local_time.h"

namespace zev1 {

std::tm local_time(std::time_t t) {
    std::tm tm{};
    localtime_s(&tm, &t);
    return tm;
}

} // namespace zev1
