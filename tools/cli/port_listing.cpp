#include "port_listing.h"

#include "commands.h"
#include "json_text.h"

namespace zev1::cli {

std::string format_port_list(const std::vector<listed_port>& ports, bool json) {
    if (json) {
        return ports_json(ports) + "\n";
    }
    std::string text;
    for (const auto& p : ports) {
        text += printable(p.name);
        const std::string described = description_text(p.description);
        if (!described.empty()) {
            text += "  " + printable(described);
        }
        text += '\n';
    }
    return text;
}

} // namespace zev1::cli
