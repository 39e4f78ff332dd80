#include "link/frame.h"

namespace zev1 {

std::uint16_t frame_checksum(std::span<const std::uint8_t> bytes) {
    std::uint16_t value = 0xFFFF;
    for (std::uint8_t b : bytes) {
        value = static_cast<std::uint16_t>(value - b);
    }
    return value;
}

std::size_t build_frame(std::span<std::uint8_t> out, std::uint8_t type, const frame_header& header,
                        std::span<const std::uint8_t> data) {
    if (data.size() > frame_max_data) {
        return 0;
    }
    const std::size_t length = data.size() + frame_overhead;
    if (out.size() < length) {
        return 0;
    }
    std::size_t at = 0;
    out[at++] = frame_sync1;
    out[at++] = frame_sync2;
    out[at++] = static_cast<std::uint8_t>(length >> 8);
    out[at++] = static_cast<std::uint8_t>(length & 0xFF);
    out[at++] = static_cast<std::uint8_t>(type & ~frame_sequence_flag);
    for (std::uint8_t b : header) {
        out[at++] = b;
    }
    for (std::uint8_t b : data) {
        out[at++] = b;
    }
    const std::uint16_t sum = frame_checksum(out.first(at));
    out[at++] = static_cast<std::uint8_t>(sum >> 8);
    out[at++] = static_cast<std::uint8_t>(sum & 0xFF);
    return at;
}

std::string_view packet_log_name(std::uint8_t type_byte) {
    // The whole type byte is compared, so a frame with bit 7 set is always "unknown".
    switch (type_byte) {
    case p_text:
        return "    <p_text>";
    case P_PING:
        return "    <P_PING>";
    case P_PING_A:
        return "    <P_PING_A>";
    case P_ECHO:
        return "    <P_ECHO>";
    case P_ECHO_A:
        return "    <P_ECHO_A>";
    case P_BOOTLOADER_READ:
        return "    <P_BOOTLOADER_READ>";
    case P_BOOTLOADER_READ_A:
        return "    <P_BOOTLOADER_READ_A>";
    case P_BOOTLOADER_WRITE:
        return "    <P_BOOTLOADER_WRITE>";
    case P_BOOTLOADER_WRITE_A:
        return "    <P_BOOTLOADER_WRITE_A>";
    case P_RESET:
        return "    <P_RESET>";
    case P_NONE:
        return "    <P_NONE>";
    default:
        return "    <unknown>"; // the message table's text 4
    }
}

} // namespace zev1
