#include "serial/port_description.h"

namespace zev1 {

std::string description_text(const port_description& d) {
    std::string text;
    auto add = [&text](const std::string& part, const char* separator) {
        if (part.empty()) {
            return;
        }
        if (!text.empty()) {
            text += separator;
        }
        text += part;
    };
    add(d.manufacturer, " ");
    // A product text often repeats the manufacturer's name; say it once.
    if (d.manufacturer.empty() || d.product.find(d.manufacturer) == std::string::npos) {
        add(d.product, " ");
    } else {
        text = d.product;
    }
    if (!d.vid.empty() || !d.pid.empty()) {
        add("USB " + d.vid + ":" + d.pid, ", ");
    }
    if (!d.serial_number.empty()) {
        add("serial " + d.serial_number, ", ");
    }
    if (d.vid.empty() && d.pid.empty()) {
        add(d.location, ", ");
    }
    return text;
}

namespace {

// The four hex digits after key ("VID_"), lower case; empty when there are none.
std::string id_after(std::string_view id, std::string_view key) {
    const auto at = id.find(key);
    if (at == std::string_view::npos || id.size() - at - key.size() < 4) {
        return {};
    }
    std::string digits(id.substr(at + key.size(), 4));
    for (char& c : digits) {
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return {};
        }
    }
    return digits;
}

} // namespace

void parse_instance_id(std::string_view id, port_description& d) {
    d.vid = id_after(id, "VID_");
    d.pid = id_after(id, "PID_");
    const auto last = id.rfind('\\');
    if (id.substr(0, 4) == "USB\\" && last != std::string_view::npos && last > 4 &&
        !d.vid.empty()) {
        const std::string_view tail = id.substr(last + 1);
        if (!tail.empty() && tail.find('&') == std::string_view::npos) {
            d.serial_number = std::string(tail);
        }
    }
}

} // namespace zev1
