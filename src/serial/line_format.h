#pragma once
// The controller's line: 115200 baud, 8 data bits, no parity, one stop bit, no flow
// control. Every port layer (the desktop port, the page's Web Serial port, the
// simulator's COM port) opens with these.
#include <cstdint>

namespace zev1 {

inline constexpr std::uint32_t link_baud_rate = 115200;
inline constexpr int link_byte_size = 8;
inline constexpr int link_parity = 0; // none
inline constexpr int link_stop_bits = 1;

} // namespace zev1
