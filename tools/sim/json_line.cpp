#include "json_line.h"

#include "hex.h"

#include <cerrno>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace zev1::sim {

json_line& json_line::text(std::string_view key, std::string_view value) {
    fields_.emplace_back(key, bytes{std::string(value)});
    return *this;
}

json_line& json_line::number(std::string_view key, std::int64_t value) {
    fields_.emplace_back(key, value);
    return *this;
}

json_line& json_line::boolean(std::string_view key, bool value) {
    fields_.emplace_back(key, value);
    return *this;
}

json_line& json_line::hex(std::string_view key, std::span<const std::uint8_t> data) {
    fields_.emplace_back(key, bytes{to_hex(data)});
    return *this;
}

std::string json_line::str() const {
    nlohmann::ordered_json line = nlohmann::ordered_json::object();
    for (const auto& [key, value] : fields_) {
        if (const auto* b = std::get_if<bytes>(&value)) {
            // Each byte as the code point of the same number, in UTF-8 as the library
            // wants it; written in ASCII, those from 0x7F up come out as \u00XX.
            std::string text;
            for (const char c : b->value) {
                const auto u = static_cast<unsigned char>(c);
                if (u < 0x80) {
                    text += c;
                } else {
                    text += static_cast<char>(0xC0 | (u >> 6));
                    text += static_cast<char>(0x80 | (u & 0x3F));
                }
            }
            line[key] = std::move(text);
        } else if (const auto* n = std::get_if<std::int64_t>(&value)) {
            line[key] = *n;
        } else {
            line[key] = std::get<bool>(value);
        }
    }
    return line.dump(-1, ' ', true);
}

void json_line::emit() const {
    const std::string line = str() + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // reader gone: nothing to tell anybody
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace zev1::sim
