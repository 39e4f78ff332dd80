#include "wifi_block.h"

#include <algorithm>

namespace zev1::sim {

bool store_wifi_text(memory_image& memory, const wifi_field& field, std::string_view text) {
    if (text.size() > field.max_text() || text.size() > field.room) {
        return false;
    }
    std::array<std::uint8_t, 256> room{}; // zero: terminator and cleared tail
    std::transform(text.begin(), text.end(), room.begin(),
                   [](char c) { return static_cast<std::uint8_t>(c); });
    return memory.store_block(field.address, std::span(room).first(field.room)) == field.room;
}

wifi_body parse_wifi_body(std::span<const std::uint8_t> body) {
    wifi_body out;
    if (body.size() != wifi_body_size) {
        out.reason = "body of " + std::to_string(body.size()) + " bytes, expected 256";
        return out;
    }
    for (std::size_t i = 0; i < wifi_fields.size(); ++i) {
        const wifi_field& field = wifi_fields[i];
        const auto room = body.subspan(field.body_offset, field.body_room);
        const auto zero = std::find(room.begin(), room.end(), std::uint8_t{0});
        if (zero == room.end()) {
            out.reason = std::string(field.name) + " has no zero byte within its " +
                         std::to_string(field.body_room) + " bytes";
            return out;
        }
        const auto length = static_cast<std::size_t>(zero - room.begin());
        if (length > field.max_text()) {
            out.reason = std::string(field.name) + " of " + std::to_string(length) +
                         " bytes, at most " + std::to_string(field.max_text()) + " fit";
            return out;
        }
        out.texts[i].assign(room.begin(), zero);
    }
    out.ok = true;
    return out;
}

} // namespace zev1::sim
