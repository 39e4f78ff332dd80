#pragma once
// One JSON object on one line, built field by field and written to standard output in
// a single write, so a reader never sees half a line.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zev1::sim {

class json_line {
public:
    json_line& text(std::string_view key, std::string_view value);
    json_line& number(std::string_view key, std::int64_t value);
    json_line& boolean(std::string_view key, bool value);
    json_line& hex(std::string_view key, std::span<const std::uint8_t> bytes);

    std::string str() const { return body_.empty() ? "{}" : body_ + "}"; }
    // Writes the line and a newline to standard output (blocking; a closed reader is
    // ignored).
    void emit() const;

private:
    void key(std::string_view name);
    std::string body_;
};

// Text as a JSON string literal, quotes included; bytes outside printable ASCII as
// \u00XX, so any byte sequence gives valid JSON.
std::string json_quote(std::string_view text);

} // namespace zev1::sim
