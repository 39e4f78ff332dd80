#pragma once
// What `zev1-wifi ports` prints: each present port with what identifies it, so that a
// technician with two adapters plugged in knows which one is the controller.
#include "serial/port_description.h"

#include <string>
#include <vector>

namespace zev1::cli {

struct listed_port {
    std::string name;
    port_description description;
};

// Plain: one line a port, the name, then two blanks and the description when there is
// one. JSON: one array of port objects (ports_json) and a newline.
std::string format_port_list(const std::vector<listed_port>& ports, bool json);

} // namespace zev1::cli
