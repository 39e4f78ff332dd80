#include "settings/utf16.h"

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

// Decodes one sequence at text[pos]; sets len to the bytes it takes. Surrogate code
// points in three-byte form are accepted (they come from unpaired units in the file).
char32_t next_code_point(std::string_view text, std::size_t pos, std::size_t& len) {
    const auto at = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(pos);
    len = 1;
    std::size_t need = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        cp = lead & 0x1F;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        cp = lead & 0x0F;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        cp = lead & 0x07;
        min = 0x10000;
    } else {
        return replacement;
    }
    if (text.size() - pos - 1 < need) {
        return replacement;
    }
    for (std::size_t i = 1; i <= need; ++i) {
        const unsigned char c = at(pos + i);
        if ((c & 0xC0) != 0x80) {
            return replacement;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF) {
        return replacement;
    }
    len = need + 1;
    return cp;
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
        std::size_t len = 1;
        const char32_t cp = next_code_point(utf8, pos, len);
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
