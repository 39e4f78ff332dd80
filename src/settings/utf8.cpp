#include "settings/utf8.h"

#include <cstdint>

namespace zev1 {
namespace {

struct lead_form {
    std::size_t length = 0;
    char32_t bits = 0;
    char32_t minimum = 0;
};

lead_form lead_of(std::uint8_t lead) {
    if (lead < 0x80) {
        return {1, lead, 0};
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {2, lead & 0x1FU, 0x80};
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return {3, lead & 0x0FU, 0x800};
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return {4, lead & 0x07U, 0x10000};
    }
    return {};
}

bool is_surrogate(char32_t cp) {
    return cp >= 0xD800 && cp <= 0xDFFF;
}

} // namespace

utf8_char decode_utf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const lead_form form = lead_of(static_cast<std::uint8_t>(text[0]));
    if (form.length == 0 || text.size() < form.length) {
        return {};
    }
    char32_t cp = form.bits;
    for (std::size_t i = 1; i < form.length; ++i) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if ((c & 0xC0) != 0x80) {
            return {};
        }
        cp = (cp << 6) | (c & 0x3FU);
    }
    if (cp < form.minimum || cp > 0x10FFFF || is_surrogate(cp)) {
        return {};
    }
    return {cp, form.length};
}

bool valid_utf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t n = utf8_sequence_length(text);
        if (n == 0) {
            return false;
        }
        text.remove_prefix(n);
    }
    return true;
}

} // namespace zev1
