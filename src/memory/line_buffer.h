#pragma once
// One text line in transit for the boot loader's text handshake: collects a received
// line from the port, sends a command line, logs a received line.
#include "log/traffic_log.h"
#include "serial/byte_queue.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace zev1 {

class Tline_buffer {
public:
    static constexpr std::size_t capacity = 4097;

    Tline_buffer() { clear(); }

    // length 0, not complete, first character NUL.
    void clear();
    // Stores c at the end. On a full buffer the character is dropped (the line stays
    // terminated and keeps what it had).
    void put(std::uint8_t c);
    // Takes received bytes until a line feed (10) is stored; returns whether a complete
    // line is held. Bytes after the line feed stay in the port for the next line.
    bool receive_line(byte_port& port);
    // Stores text (up to its first NUL) and a carriage return, then sends exactly those
    // bytes as one block.
    void send_line(byte_port& port, std::string_view text);
    // Logs the stored characters minus the last one; nothing for an empty buffer.
    void log_line(traffic_log& log) const;

    std::uint16_t length() const { return length_; }
    bool complete() const { return complete_; }
    std::string_view text() const;

private:
    std::uint16_t length_ = 0;
    bool complete_ = false;
    std::array<char, capacity + 1> chars_{}; // one more for the terminating NUL
};

} // namespace zev1
