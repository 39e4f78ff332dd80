#include "settings/utf16.h"

#include "settings/utf8.h"

#include <cstddef>

namespace zev1 {
namespace {

constexpr char32_t replacement = 0xFFFD;

void put_utf8(std::string& out, char32_t cp) {
    auto byte = [&out](char32_t v) { out.push_back(static_cast<char>(v & 0xFF)); };
    if (cp < 0x80) {
        byte(cp);
    } else if (cp < 0x800) {
        byte(0xC0 | (cp >> 6));
        byte(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        byte(0xE0 | (cp >> 12));
        byte(0x80 | ((cp >> 6) & 0x3F));
        byte(0x80 | (cp & 0x3F));
    } else {
        byte(0xF0 | (cp >> 18));
        byte(0x80 | ((cp >> 12) & 0x3F));
        byte(0x80 | ((cp >> 6) & 0x3F));
        byte(0x80 | (cp & 0x3F));
    }
}

void put_unit(std::vector<std::uint8_t>& out, char16_t unit, bool big_endian) {
    const auto hi = static_cast<std::uint8_t>(unit >> 8);
    const auto lo = static_cast<std::uint8_t>(unit & 0xFF);
    out.push_back(big_endian ? hi : lo);
    out.push_back(big_endian ? lo : hi);
}

bool is_high(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool is_low(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Decodes one character at the start of text and the bytes it takes. A surrogate code
// point in three-byte form is taken as its unit too: utf16_to_utf8 writes an unpaired
// unit of the file that way, and this brings it back unchanged. Anything else that is not
// well-formed is one byte of U+FFFD.
utf8_char next_code_point(std::string_view text) {
    if (const utf8_char c = decode_utf8(text); c.length > 0) {
        return c;
    }
    const auto at = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.size() >= 3 && at(0) == 0xED && at(1) >= 0xA0 && at(1) <= 0xBF &&
        (at(2) & 0xC0) == 0x80) {
        return {0xD000U | ((at(1) & 0x3FU) << 6) | (at(2) & 0x3FU), 3};
    }
    return {replacement, 1};
}

} // namespace

std::string utf16_to_utf8(std::span<const std::uint8_t> bytes, bool big_endian) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    const std::size_t units = bytes.size() / 2;
    auto unit_at = [&](std::size_t i) -> char32_t {
        const std::uint8_t a = bytes[2 * i];
        const std::uint8_t b = bytes[2 * i + 1];
        return big_endian ? static_cast<char32_t>((a << 8) | b)
                          : static_cast<char32_t>((b << 8) | a);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = unit_at(i);
        if (is_high(u) && i + 1 < units && is_low(unit_at(i + 1))) {
            put_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit_at(i + 1) - 0xDC00));
            ++i;
        } else {
            put_utf8(out, u); // includes an unpaired surrogate, kept as its unit
        }
    }
    if (bytes.size() % 2 != 0) {
        put_utf8(out, replacement);
    }
    return out;
}

void append_utf16(std::vector<std::uint8_t>& out, std::string_view utf8, bool big_endian) {
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto [cp, len] = next_code_point(utf8.substr(pos));
        pos += len;
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            put_unit(out, static_cast<char16_t>(0xD800 + (v >> 10)), big_endian);
            put_unit(out, static_cast<char16_t>(0xDC00 + (v & 0x3FF)), big_endian);
        } else {
            put_unit(out, static_cast<char16_t>(cp), big_endian);
        }
    }
}

} // namespace zev1
