#include "json_text.h"

#include "json_texts.h"

#include <cstdint>

namespace zev1::cli {

std::string settings_json(std::string_view id, const wifi_settings& settings) {
    json_texts text;
    const json document = {{"id", text(id)},
                           {"ssid", text(settings.ssid)},
                           {"key", text(settings.key)},
                           {"security", text(settings.security)},
                           {"endpoint", text(settings.endpoint)}};
    return text.dump(document);
}

std::string ports_json(const std::vector<listed_port>& ports) {
    json_texts text;
    json list = json::array();
    for (const listed_port& port : ports) {
        const port_description& d = port.description;
        list.push_back(json::object({{"name", text(port.name)},
                                     {"description", text(description_text(d))},
                                     {"manufacturer", text(d.manufacturer)},
                                     {"product", text(d.product)},
                                     {"vid", text(d.vid)},
                                     {"pid", text(d.pid)},
                                     {"serial", text(d.serial_number)},
                                     {"location", text(d.location)}}));
    }
    return text.dump(list);
}

std::string json_string(std::string_view text) {
    json_texts map;
    return map.dump(map(text));
}

std::size_t utf8_sequence_length(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const auto byte = [&text](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1FU;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0FU;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07U;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3FU);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

} // namespace zev1::cli
