#include "settings/ini_store.h"

#include "settings/utf16.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <utility>

namespace zev1 {
namespace {

constexpr std::array<std::uint8_t, 3> utf8_bom{0xEF, 0xBB, 0xBF};
constexpr std::array<std::uint8_t, 2> utf16le_bom{0xFF, 0xFE};
constexpr std::array<std::uint8_t, 2> utf16be_bom{0xFE, 0xFF};

bool starts_with(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// Blanks as the file format knows them: space and every control character.
bool is_blank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && is_blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return ascii_lower(x) == ascii_lower(y);
           });
}

// A value cannot hold a line break: the file would read it back as two lines.
std::string one_line(std::string_view s) {
    std::string out(s);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return out;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char l = ascii_lower(c);
    if (l >= 'a' && l <= 'f') {
        return l - 'a' + 10;
    }
    return -1;
}

// Up to 32 bits of hexadecimal; the bit pattern is the result ("FFFFFFFF" is -1).
std::optional<std::int32_t> parse_hex(std::string_view digits, bool negative) {
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        const int d = hex_digit(c);
        if (d < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint64_t>(d);
        if (value > 0xFFFFFFFFu) {
            return std::nullopt;
        }
    }
    auto bits = static_cast<std::uint32_t>(value);
    if (negative) {
        bits = 0u - bits;
    }
    return static_cast<std::int32_t>(bits);
}

std::optional<std::int32_t> parse_integer(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return parse_hex(text.substr(2), false);
    }
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (!text.empty() && text[0] == '$') {
        return parse_hex(text.substr(1), negative);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > 0x80000000LL) {
            return std::nullopt;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > 0x7FFFFFFFLL) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

ini_store ini_store::parse(std::span<const std::uint8_t> file_bytes) {
    ini_store store;
    std::string text;
    if (starts_with(file_bytes, utf8_bom)) {
        store.encoding_ = encoding::utf8_bom;
        const auto body = file_bytes.subspan(utf8_bom.size());
        text.assign(body.begin(), body.end());
    } else if (starts_with(file_bytes, utf16le_bom)) {
        store.encoding_ = encoding::utf16le_bom;
        text = utf16_to_utf8(file_bytes.subspan(utf16le_bom.size()), false);
    } else if (starts_with(file_bytes, utf16be_bom)) {
        store.encoding_ = encoding::utf16be_bom;
        text = utf16_to_utf8(file_bytes.subspan(utf16be_bom.size()), true);
    } else {
        text.assign(file_bytes.begin(), file_bytes.end());
    }

    const std::string_view all(text);
    bool first_break = true;
    std::optional<std::size_t> current; // index of the section being read
    std::size_t pos = 0;
    while (pos < all.size()) {
        const std::size_t end = std::min(all.find_first_of("\r\n", pos), all.size());
        const std::string_view raw_line = all.substr(pos, end - pos);
        pos = end;
        if (pos < all.size()) {
            const bool crlf = all[pos] == '\r' && pos + 1 < all.size() && all[pos + 1] == '\n';
            if (first_break && all[pos] == '\n') {
                store.crlf_ = false;
            } else if (first_break && crlf) {
                store.crlf_ = true;
            }
            first_break = false;
            pos += crlf ? 2 : 1;
        }

        const std::string_view l = trim(raw_line);
        if (l.empty() || l.front() == ';') {
            continue;
        }
        if (l.size() >= 2 && l.front() == '[' && l.back() == ']') {
            const std::string_view name = trim(l.substr(1, l.size() - 2));
            const section& s = store.section_for_write(name);
            current = static_cast<std::size_t>(&s - store.sections_.data());
            continue;
        }
        if (!current) {
            continue; // lines before the first section are not part of any section
        }
        auto& lines = store.sections_[*current].lines;
        const std::size_t eq = l.find('=');
        if (eq == std::string_view::npos) {
            lines.push_back(line{{}, std::string(l), true});
        } else {
            lines.push_back(line{std::string(trim(l.substr(0, eq))),
                                 std::string(trim(l.substr(eq + 1))), false});
        }
    }
    return store;
}

std::vector<std::uint8_t> ini_store::serialize() const {
    const std::string_view eol = crlf_ ? "\r\n" : "\n";
    std::string text;
    for (const section& s : sections_) {
        text.append("[").append(s.name).append("]").append(eol);
        for (const line& l : s.lines) {
            if (l.raw) {
                text.append(l.value);
            } else {
                text.append(l.key).append("=").append(l.value);
            }
            text.append(eol);
        }
        text.append(eol);
    }

    std::vector<std::uint8_t> out;
    switch (encoding_) {
    case encoding::ansi:
        out.assign(text.begin(), text.end());
        break;
    case encoding::utf8_bom:
        text.insert(text.begin(), utf8_bom.begin(), utf8_bom.end());
        out.assign(text.begin(), text.end());
        break;
    case encoding::utf16le_bom:
        out.assign(utf16le_bom.begin(), utf16le_bom.end());
        append_utf16(out, text, false);
        break;
    case encoding::utf16be_bom:
        out.assign(utf16be_bom.begin(), utf16be_bom.end());
        append_utf16(out, text, true);
        break;
    }
    return out;
}

const ini_store::section* ini_store::find_section(std::string_view name) const {
    const auto it = std::find_if(sections_.begin(), sections_.end(),
                                 [name](const section& s) { return iequals(s.name, name); });
    return it == sections_.end() ? nullptr : &*it;
}

ini_store::section& ini_store::section_for_write(std::string_view name) {
    std::string clean = one_line(name);
    if (const section* found = find_section(clean)) {
        return sections_[static_cast<std::size_t>(found - sections_.data())];
    }
    return sections_.emplace_back(section{std::move(clean), {}});
}

std::string ini_store::ReadString(std::string_view section, std::string_view key,
                                  std::string_view def) const {
    if (const auto* s = find_section(section)) {
        for (const line& l : s->lines) {
            if (!l.raw && iequals(l.key, key)) {
                return l.value;
            }
        }
    }
    return std::string(def);
}

void ini_store::WriteString(std::string_view section, std::string_view key,
                            std::string_view value) {
    auto& lines = section_for_write(section).lines;
    std::string clean_key = one_line(key);
    for (line& l : lines) {
        if (!l.raw && iequals(l.key, clean_key)) {
            l.key = std::move(clean_key); // the line takes the spelling of the latest write
            l.value = one_line(value);
            return;
        }
    }
    lines.push_back(line{std::move(clean_key), one_line(value), false});
}

std::int32_t ini_store::ReadInteger(std::string_view section, std::string_view key,
                                    std::int32_t def) const {
    // An absent key reads as the empty text, which does not parse either.
    return parse_integer(ReadString(section, key, {})).value_or(def);
}

void ini_store::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

bool ini_store::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void ini_store::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

} // namespace zev1
