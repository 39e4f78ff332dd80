#pragma once
// The calendar time of the system's time zone; platform/posix and platform/win32
// implement it with the thread-safe call each system has.
#include <ctime>

namespace zev1 {

std::tm local_time(std::time_t t);

} // namespace zev1
