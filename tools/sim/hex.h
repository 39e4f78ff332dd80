#pragma once
// Upper-case hex text of bytes, and back.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zev1::sim {

std::string to_hex(std::span<const std::uint8_t> bytes);

// Fills out from exactly 2 * out.size() hex digits (either case); false otherwise.
bool parse_hex(std::string_view text, std::span<std::uint8_t> out);

} // namespace zev1::sim
