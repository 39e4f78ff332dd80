#pragma once
// Frames and byte strings as the unit tests build them.
#include "link/frame.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

namespace zev1 {

// A frame as build_frame lays it out. The buffer starts as 0xEE, so that a byte the
// builder leaves unwritten shows.
inline std::vector<std::uint8_t> make_frame(std::uint8_t type, std::span<const std::uint8_t> data,
                                            const frame_header& header = {}) {
    std::vector<std::uint8_t> out(frame_buffer_size, 0xEE);
    out.resize(build_frame(out, type, header, data));
    return out;
}
inline std::vector<std::uint8_t> make_frame(std::uint8_t type,
                                            std::initializer_list<std::uint8_t> data = {},
                                            const frame_header& header = {}) {
    return make_frame(type, std::span(data.begin(), data.size()), header);
}

inline std::vector<std::uint8_t> bytes_of(std::string_view text) {
    return {text.begin(), text.end()};
}

// n bytes: first, first + step, first + 2 * step, ... each cut to a byte.
inline std::vector<std::uint8_t> byte_run(std::size_t n, unsigned first = 0, unsigned step = 1) {
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(first + step * i);
    }
    return out;
}

// Writes the checksum of everything before the last two bytes into them, high byte first.
inline void reseal(std::vector<std::uint8_t>& frame) {
    const std::uint16_t sum = frame_checksum(std::span(frame).first(frame.size() - 2));
    frame[frame.size() - 2] = static_cast<std::uint8_t>(sum >> 8);
    frame.back() = static_cast<std::uint8_t>(sum);
}

} // namespace zev1
