#include "memory/line_buffer.h"

namespace zev1 {

void Tline_buffer::clear() {
    length_ = 0;
    complete_ = false;
    chars_[0] = '\0';
}

void Tline_buffer::put(std::uint8_t c) {
    if (length_ >= capacity) {
        return; // full: the character is dropped, the line keeps what it had
    }
    chars_[length_] = static_cast<char>(c);
    ++length_;
    chars_[length_] = '\0';
}

bool Tline_buffer::receive_line(byte_port& port) {
    while (!complete_ && port.rx_count() > 0) {
        const std::uint8_t c = port.rx_get();
        put(c);
        if (c == '\n') {
            complete_ = true;
        }
    }
    return complete_;
}

void Tline_buffer::send_line(byte_port& port, std::string_view text) {
    clear();
    for (char c : text) {
        if (c == '\0') {
            break;
        }
        put(static_cast<std::uint8_t>(c));
    }
    put('\r');
    port.send_bytes(std::span(reinterpret_cast<const std::uint8_t*>(chars_.data()), length_));
}

void Tline_buffer::log_line(traffic_log& log) const {
    if (length_ == 0) {
        return;
    }
    // The last character is the line feed and is not logged, unless the line was ended
    // by a line feed the full buffer had no room for: then everything held is the text.
    std::size_t n = length_;
    if (!complete_ || chars_[n - 1u] == '\n') {
        --n;
    }
    // A text ends at its first zero byte, as everywhere else texts are logged.
    const std::string_view line(chars_.data(), n);
    log.log_text(line.substr(0, line.find('\0')));
}

std::string_view Tline_buffer::text() const {
    return std::string_view(chars_.data(), length_);
}

} // namespace zev1
