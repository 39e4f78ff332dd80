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

} // namespace zev1::cli
