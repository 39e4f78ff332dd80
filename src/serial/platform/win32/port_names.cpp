// Port names on Windows: COM0 ... COM99.
#include "serial/port_namespace.h"

#include <string>

namespace zev1 {
namespace {

class com_namespace final : public port_namespace {
public:
    std::vector<std::string> candidates() override {
        std::vector<std::string> names;
        names.reserve(max_port_candidates);
        for (std::size_t n = 0; n < max_port_candidates; ++n) {
            names.push_back("COM" + std::to_string(n));
        }
        return names;
    }
    probe_result probe(std::string_view name) override { return probe_port(name); }
};

} // namespace

std::unique_ptr<port_namespace> make_system_namespace() {
    return std::make_unique<com_namespace>();
}

} // namespace zev1
