#pragma once
// UTF-16 <-> UTF-8 conversion for settings files that start with a UTF-16 byte-order
// mark. The store keeps such a file as UTF-8 bytes and converts it back on writing.
//
// Lossless for whatever a file holds: an unpaired surrogate is carried through as the
// three-byte form of its code unit (as WTF-8 does), so it is written back as the same
// unit. A trailing odd byte becomes U+FFFD. On the way back, bytes that are not
// well-formed UTF-8 become U+FFFD each.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

std::string utf16_to_utf8(std::span<const std::uint8_t> bytes, bool big_endian);
void append_utf16(std::vector<std::uint8_t>& out, std::string_view utf8, bool big_endian);

} // namespace zev1
