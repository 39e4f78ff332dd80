#pragma once
// The percentage a progress display shows: the part of a transfer already requested.
#include <cstdint>

namespace zev1 {

// 100 - remaining * 100 / total, truncating; 0 when total is 0. The product is taken in
// 64 bits and the result held to 0..100, so a total above 42,949,672 bytes or a
// remaining above total cannot make the bar jump backwards or wrap.
constexpr std::uint32_t progress_percent(std::uint32_t total, std::uint32_t remaining) {
    if (total == 0) {
        return 0;
    }
    if (remaining >= total) {
        return 0;
    }
    const std::uint64_t part = static_cast<std::uint64_t>(remaining) * 100U / total;
    return static_cast<std::uint32_t>(100U - part);
}

} // namespace zev1
