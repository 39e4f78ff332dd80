#pragma once
// The controller's WiFi settings: where the four texts live in memory, and how the
// 256-byte body of a type-100 packet carries them.
#include "memory/image.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zev1::sim {

struct wifi_field {
    std::string_view name;
    std::uint32_t address;   // device address of the zero-terminated text
    std::size_t room;        // bytes up to the next field, terminator included
    std::size_t body_offset; // where the text sits in the type-100 body
    std::size_t body_room;
    // The longest text the body carries with its terminator. The body's SSID room is one
    // byte larger than the memory's: a 33-byte SSID fills its memory room exactly and is
    // stored without a terminator (a reader stops at the room), so it never runs into the key.
    constexpr std::size_t max_text() const { return body_room - 1; }
};

inline constexpr std::size_t wifi_body_size = 256;

// In body order: security, SSID, key, endpoint.
inline constexpr std::array<wifi_field, 4> wifi_fields{{
    {"security", 0x536D, 10, 0, 10},
    {"ssid", 0x530B, 33, 10, 34},
    {"key", 0x532C, 65, 44, 65},
    {"endpoint", 0x5377, 147, 109, 147},
}};

// Stores text at the field's address, zero-terminated when it is shorter than the room,
// and clears the rest of the room, so no byte of an earlier, longer text (an old password)
// stays readable. Returns false and stores nothing when the text does not fit.
bool store_wifi_text(memory_image& memory, const wifi_field& field, std::string_view text);

struct wifi_body {
    bool ok = false;
    std::string reason;               // why the body was refused
    std::array<std::string, 4> texts; // in wifi_fields order
};

// Takes a type-100 body apart. Refused: a body that is not 256 bytes, a field without a
// zero byte inside its room.
wifi_body parse_wifi_body(std::span<const std::uint8_t> body);

} // namespace zev1::sim
