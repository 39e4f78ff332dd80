#include "controller.h"

#include "wifi_block.h"

#include <array>

namespace zev1::sim {

namespace {

constexpr std::size_t block_header_size = 12;
constexpr std::uint32_t max_block = 256;
constexpr std::size_t max_frame_data = frame_max_length - frame_overhead; // 277

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void put_le32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

struct block_request {
    std::uint32_t length = 0;
    std::uint32_t address = 0;
    std::string problem; // empty when the header is acceptable
};

// The block header of a read or write request: length 1..256, the whole range inside
// the memory (checked without 32-bit overflow), status 0.
block_request parse_block_header(std::span<const std::uint8_t> body) {
    block_request r;
    if (body.size() < block_header_size) {
        r.problem = "body of " + std::to_string(body.size()) + " bytes, shorter than the " +
                    "12-byte block header";
        return r;
    }
    r.length = le32(body, 0);
    r.address = le32(body, 4);
    const std::uint32_t status = le32(body, 8);
    if (r.length == 0 || r.length > max_block) {
        r.problem = "length " + std::to_string(r.length) + " outside 1..256";
    } else if (std::uint64_t{r.address} + r.length > memory_image::size) {
        r.problem = "range " + std::to_string(r.address) + "+" + std::to_string(r.length) +
                    " outside the 1 MiB memory";
    } else if (status != 0) {
        r.problem = "status " + std::to_string(status) + " in a request, expected 0";
    }
    return r;
}

controller::result refuse(std::string kind, std::string reason) {
    controller::result r;
    r.error = std::move(kind);
    r.reason = std::move(reason);
    return r;
}

} // namespace

controller::controller(std::string id, const frame_header& header, const fault_settings& faults)
    : memory_(std::make_unique<memory_image>()), id_(std::move(id)), header_(header),
      faults_(faults) {}

frame_bytes controller::make_frame(std::uint8_t type, std::span<const std::uint8_t> data) const {
    frame_bytes out(data.size() + frame_overhead);
    out.resize(build_frame(out, type, header_, data));
    return out;
}

frame_bytes controller::text_frame(std::string_view text) const {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    if (faults_.long_text) {
        static constexpr std::string_view fill = " long text";
        for (std::size_t i = 0; data.size() < max_frame_data; ++i) {
            data.push_back(static_cast<std::uint8_t>(fill[i % fill.size()]));
        }
        data.resize(max_frame_data); // no zero byte: the reader must stop at the frame's end
    } else {
        if (data.size() > max_frame_data - 1) {
            data.resize(max_frame_data - 1);
        }
        data.push_back(0);
    }
    return make_frame(p_text, data);
}

controller::result controller::handle(std::span<const std::uint8_t> frame) {
    const std::uint8_t type_byte = frame[frame_type_offset];
    const std::uint8_t type = type_byte & static_cast<std::uint8_t>(~frame_sequence_flag);
    const std::size_t data_at = frame_data_offset + ((type_byte & frame_sequence_flag) ? 1 : 0);
    if (frame.size() < data_at + 2) {
        return refuse("malformed", "sequence flag set but no room for the sequence byte");
    }
    const auto body = frame.subspan(data_at, frame.size() - data_at - 2);
    switch (type) {
    case P_PING:
        if (!body.empty()) {
            return refuse("malformed", "P_PING carries " + std::to_string(body.size()) +
                                           " data bytes, expected none");
        }
        return result{{make_frame(P_PING_A, {})}, {}, {}, false, std::nullopt};
    case P_ECHO:
        if (!body.empty()) {
            return refuse("malformed", "P_ECHO carries " + std::to_string(body.size()) +
                                           " data bytes, expected none");
        }
        return on_echo();
    case P_BOOTLOADER_READ:
        return on_read(body);
    case P_BOOTLOADER_WRITE:
        return on_write(body);
    case P_WIFI_SETTINGS:
        return on_wifi(body);
    default:
        return refuse("unknown-type", "type " + std::to_string(type) + " is not served");
    }
}

controller::result controller::on_echo() const {
    std::vector<std::uint8_t> data(id_.begin(), id_.end());
    if (faults_.echo_long) {
        static constexpr std::string_view fill = "-LONG";
        for (std::size_t i = 0; data.size() < max_frame_data - 1; ++i) {
            data.push_back(static_cast<std::uint8_t>(fill[i % fill.size()]));
        }
        data.resize(max_frame_data - 1);
    }
    if (!faults_.echo_no_zero) {
        data.push_back(0);
    }
    return result{{make_frame(P_ECHO_A, data)}, {}, {}, false, std::nullopt};
}

controller::result controller::on_read(std::span<const std::uint8_t> body) const {
    if (body.size() != block_header_size) {
        return refuse("malformed", "read request of " + std::to_string(body.size()) +
                                       " bytes, expected the 12-byte block header");
    }
    const block_request req = parse_block_header(body);
    if (!req.problem.empty()) {
        return refuse("malformed", "read: " + req.problem);
    }
    std::array<std::uint8_t, block_header_size + max_block> data{};
    const std::uint32_t carried = faults_.short_read ? req.length / 2 : req.length;
    put_le32(data, 0, req.length);
    put_le32(data, 4, faults_.wrong_address ? req.address + 0x100 : req.address);
    put_le32(data, 8, 0);
    memory_->fetch_block(req.address, std::span(data).subspan(block_header_size, carried));
    return result{
        {make_frame(P_BOOTLOADER_READ_A, std::span(data).first(block_header_size + carried))},
        {},
        {},
        false,
        std::nullopt};
}

controller::result controller::on_write(std::span<const std::uint8_t> body) {
    const block_request req = parse_block_header(body);
    if (!req.problem.empty()) {
        return refuse("malformed", "write: " + req.problem);
    }
    if (body.size() != block_header_size + req.length) {
        return refuse("malformed", "write of length " + std::to_string(req.length) + " carries " +
                                       std::to_string(body.size() - block_header_size) +
                                       " data bytes");
    }
    memory_->store_block(req.address, body.subspan(block_header_size));
    std::array<std::uint8_t, block_header_size> ack{};
    put_le32(ack, 0, req.length);
    put_le32(ack, 4, req.address);
    put_le32(ack, 8, 1);
    result r{{make_frame(P_BOOTLOADER_WRITE_A, ack)}, {}, {}, true, json_line{}};
    r.note->text("event", "stored")
        .text("what", "block")
        .number("address", req.address)
        .number("length", req.length);
    return r;
}

controller::result controller::on_wifi(std::span<const std::uint8_t> body) {
    const wifi_body parsed = parse_wifi_body(body);
    if (!parsed.ok) {
        // The technician sees why in the terminal window; nothing is stored.
        result r = refuse("malformed", "wifi settings: " + parsed.reason);
        r.answers.push_back(text_frame("wifi settings refused: " + parsed.reason));
        return r;
    }
    result r{{}, {}, {}, true, json_line{}};
    r.note->text("event", "stored").text("what", "wifi");
    for (std::size_t i = 0; i < wifi_fields.size(); ++i) {
        store_wifi_text(*memory_, wifi_fields[i], parsed.texts[i]);
        r.note->text(wifi_fields[i].name, parsed.texts[i]);
    }
    r.answers.push_back(text_frame("wifi settings stored"));
    return r;
}

} // namespace zev1::sim
