#pragma once
// The controller's line: 115200 baud, 8 data bits, no parity, one stop bit, no flow
// control. Every port layer (the desktop port, the page's Web Serial port, the
// simulator's COM port) opens with link_format; the single values below are its fields.
#include <cstdint>

namespace zev1 {

// In the order the desktop port layer numbers them (0 none, 1 odd, 2 even).
enum class line_parity : std::uint8_t { none, odd, even };

struct line_format {
    std::uint32_t baud = 0;
    int data_bits = 8;
    line_parity parity = line_parity::none;
    int stop_bits = 1;
    bool hardware_flow = false; // RTS/CTS
};

inline constexpr line_format link_format{115200, 8, line_parity::none, 1, false};

inline constexpr std::uint32_t link_baud_rate = link_format.baud;
inline constexpr int link_byte_size = link_format.data_bits;
inline constexpr int link_parity = static_cast<int>(link_format.parity);
inline constexpr int link_stop_bits = link_format.stop_bits;

} // namespace zev1
