#pragma once
// One event as one JSON object on one line, its fields in the order they were added,
// written by nlohmann/json and put on standard output in a single write, so a reader
// never sees half a line. Texts are bytes (from the tool or the command line): every
// byte from 0x7F up shows as \u00XX, the code point of the same number, and control
// characters as JSON escapes (\t, \u0001), so any bytes give valid JSON and a reader
// gets the bytes back.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace zev1::sim {

class json_line {
public:
    json_line& text(std::string_view key, std::string_view value);
    json_line& number(std::string_view key, std::int64_t value);
    json_line& boolean(std::string_view key, bool value);
    // Upper-case hex digits of the bytes, as a string.
    json_line& hex(std::string_view key, std::span<const std::uint8_t> bytes);

    std::string str() const;
    // Writes the line and a newline to standard output (blocking; a closed reader is
    // ignored).
    void emit() const;

private:
    struct bytes {
        std::string value;
    };
    std::vector<std::pair<std::string, std::variant<bytes, std::int64_t, bool>>> fields_;
};

} // namespace zev1::sim
