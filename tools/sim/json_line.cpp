#include "json_line.h"

#include "hex.h"

#include <cerrno>
#include <unistd.h>

namespace zev1::sim {

std::string json_quote(std::string_view text) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7F) {
            out += "\\u00";
            out += digits[b >> 4];
            out += digits[b & 0x0F];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

void json_line::key(std::string_view name) {
    body_ += body_.empty() ? "{" : ",";
    body_ += json_quote(name);
    body_ += ':';
}

json_line& json_line::text(std::string_view name, std::string_view value) {
    key(name);
    body_ += json_quote(value);
    return *this;
}

json_line& json_line::number(std::string_view name, std::int64_t value) {
    key(name);
    body_ += std::to_string(value);
    return *this;
}

json_line& json_line::boolean(std::string_view name, bool value) {
    key(name);
    body_ += value ? "true" : "false";
    return *this;
}

json_line& json_line::hex(std::string_view name, std::span<const std::uint8_t> bytes) {
    key(name);
    body_ += '"';
    body_ += to_hex(bytes);
    body_ += '"';
    return *this;
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
