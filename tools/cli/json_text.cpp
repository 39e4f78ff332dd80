#include "json_text.h"

#include <array>
#include <cstdint>

namespace zev1::cli {
namespace {

void append_escape(std::string& out, unsigned code) {
    constexpr std::array<char, 16> digits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                             '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    out += "\\u00";
    out += digits[(code >> 4) & 0x0F];
    out += digits[code & 0x0F];
}

} // namespace

std::size_t utf8_sequence_length(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const auto byte = [&text](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1FU;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0FU;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07U;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3FU);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

std::string json_string(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                append_escape(out, c);
                break;
            }
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = utf8_sequence_length(text.substr(i)); n > 0) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            append_escape(out, c);
            ++i;
        }
    }
    out += '"';
    return out;
}

std::string json_object(const std::vector<std::pair<std::string_view, std::string>>& members) {
    std::string out = "{";
    bool first = true;
    for (const auto& [name, value] : members) {
        if (!first) {
            out += ',';
        }
        first = false;
        out += json_string(name);
        out += ':';
        out += json_string(value);
    }
    out += '}';
    return out;
}

} // namespace zev1::cli
