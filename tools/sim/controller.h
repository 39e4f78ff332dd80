#pragma once
// The controller model: its memory, its identification, and what it answers to each
// checksum-valid frame. No I/O here; the event loop sends the answers and prints the notes.
#include "json_line.h"
#include "link/frame.h"
#include "memory/image.h"
#include "options.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zev1::sim {

using frame_bytes = std::vector<std::uint8_t>;

class controller {
public:
    // faults is read at every request, so run-time changes apply at once.
    controller(std::string id, const frame_header& header, const fault_settings& faults);

    memory_image& memory() { return *memory_; }
    const memory_image& memory() const { return *memory_; }
    const frame_header& header() const { return header_; }

    struct result {
        std::vector<frame_bytes> answers; // in sending order
        std::string error;                // "malformed" or "unknown-type"; empty when served
        std::string reason;               // for the error line
        bool memory_changed = false;
        std::optional<json_line> note; // what was stored, for the event line
    };

    // Serves one frame that passed the checksum (L bytes, 23..300).
    result handle(std::span<const std::uint8_t> frame);

    // A text frame (type 0) carrying text and a zero byte; with the long-text fault, the
    // text padded to 277 bytes and no zero.
    frame_bytes text_frame(std::string_view text) const;

private:
    frame_bytes make_frame(std::uint8_t type, std::span<const std::uint8_t> data) const;
    result on_echo() const;
    result on_read(std::span<const std::uint8_t> body) const;
    result on_write(std::span<const std::uint8_t> body);
    result on_wifi(std::span<const std::uint8_t> body);

    std::unique_ptr<memory_image> memory_; // 1 MiB: never on the stack
    std::string id_;
    frame_header header_;
    const fault_settings& faults_;
};

} // namespace zev1::sim
