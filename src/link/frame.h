#pragma once
// The link frame on the wire:
//   0x28 0x93 | length (u16 big-endian, whole frame) | type byte | 16-byte header |
//   [sequence byte when bit 7 of the type byte is set] | data | checksum (u16 big-endian)
// The checksum is 0xFFFF minus the byte sum of everything before it (low 16 bits).
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace zev1 {

// Packet types (the low 7 bits of the type byte).
enum packet_type : std::uint8_t {
    p_text = 0,
    P_PING = 1,
    P_PING_A = 2,
    P_ECHO = 3,
    P_ECHO_A = 4,
    P_BOOTLOADER_READ = 5,
    P_BOOTLOADER_READ_A = 6,
    P_BOOTLOADER_WRITE = 7,
    P_BOOTLOADER_WRITE_A = 8,
    P_RESET = 9,
    P_NONE = 10,
    P_WIFI_SETTINGS = 100,
};

inline constexpr std::uint8_t frame_sync1 = 0x28;
inline constexpr std::uint8_t frame_sync2 = 0x93;
inline constexpr std::size_t frame_header_size = 16;
inline constexpr std::size_t frame_overhead = 23;     // sync, length, type, header, checksum
inline constexpr std::size_t frame_min_length = 23;
inline constexpr std::size_t frame_max_length = 300;  // longest frame the decoder accepts
inline constexpr std::size_t frame_buffer_size = 1024;
inline constexpr std::size_t frame_max_data = frame_buffer_size - frame_overhead - 1;
// Where the parts of a frame stand: the two sync bytes at 0 and 1, the length at 2 and 3,
// the type byte at 4, the header from 5 and the data from 21 (22 after a sequence byte).
inline constexpr std::size_t frame_length_offset = 2;
inline constexpr std::size_t frame_type_offset = 4;
inline constexpr std::size_t frame_header_offset = 5;
inline constexpr std::size_t frame_data_offset = frame_header_offset + frame_header_size;
inline constexpr std::uint8_t frame_sequence_flag = 0x80;

using frame_header = std::array<std::uint8_t, frame_header_size>;

// 0xFFFF minus the sum of the bytes, low 16 bits.
std::uint16_t frame_checksum(std::span<const std::uint8_t> bytes);

// Builds a frame (no sequence byte, bit 7 of the type byte cleared) into out.
// Returns its length (data.size() + 23), or 0 when out is too small or the data is
// longer than frame_max_data; nothing is written past out.
std::size_t build_frame(std::span<std::uint8_t> out, std::uint8_t type, const frame_header& header,
                        std::span<const std::uint8_t> data);

// Where the data of a received frame starts: offset 22 when bit 7 of the type byte
// announces a sequence byte, 21 otherwise.
constexpr std::size_t frame_data_start(std::uint8_t type_byte) {
    return (type_byte & frame_sequence_flag) ? frame_data_offset + 1 : frame_data_offset;
}
// Number of data bytes of a frame of length L with that type byte: L - 23, or L - 24 with
// a sequence byte; 0 when L is too short to hold any.
constexpr std::size_t frame_data_length(std::size_t length, std::uint8_t type_byte) {
    const std::size_t fixed = frame_data_start(type_byte) + 2;
    return length > fixed ? length - fixed : 0;
}

// Log name of a whole type byte (bit 7 included), with its four leading blanks:
// "    <P_PING>" ..., "    <unknown>" for anything unnamed.
std::string_view packet_log_name(std::uint8_t type_byte);

} // namespace zev1
