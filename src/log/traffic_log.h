#pragma once
// Where the link and the transfer code report traffic: the terminal window in the
// configurator, standard error in the command-line tool, a recorder in tests.
#include <cstdint>
#include <span>
#include <string_view>

namespace zev1 {

class traffic_log {
public:
    // One frame that was sent (received = false) or received with a valid checksum.
    // frame is the whole frame from the first sync byte to the last checksum byte;
    // name is the log name of its type byte, text the extra text (may be empty).
    virtual void add_packet_line(std::span<const std::uint8_t> frame, bool received,
                                 std::string_view name, std::string_view text) = 0;
    // One text line (controller text, handshake remark): timestamped by the sink.
    virtual void log_text(std::string_view text) = 0;

protected:
    ~traffic_log() = default;
};

} // namespace zev1
