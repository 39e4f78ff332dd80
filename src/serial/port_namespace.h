#pragma once
// Where port names come from: the candidates a scan walks through, in order, the probe
// that tells whether one can be opened right now (without opening it), and what
// identifies a port. The system's own namespace lists COM0 ... COM99 on Windows, and on
// Linux the serial device nodes plus the links in the ports/ folder next to the
// program; tests put their own in its place.
#include "serial/port_description.h"
#include "serial/port_os.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

inline constexpr std::size_t max_port_candidates = 100;

class port_namespace {
public:
    virtual ~port_namespace() = default;
    // At most max_port_candidates names, in the order a scan lists them.
    virtual std::vector<std::string> candidates() = 0;
    virtual probe_result probe(std::string_view name) = 0;
    // What identifies the port; nothing by default.
    virtual port_description describe(std::string_view name) {
        (void)name;
        return {};
    }
};

std::unique_ptr<port_namespace> make_system_namespace();

} // namespace zev1
