#pragma once
// Which port the command uses: the one named on the command line, else the one
// remembered in the settings file when it is present, else the only present port.
#include "exit_status.h"
#include "serial/port_namespace.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zev1::cli {

// The system's ports, with a name given on the command line listed first, so that a
// port outside the usual places (an absolute path, a link elsewhere) can be chosen too.
class cli_port_namespace final : public port_namespace {
public:
    explicit cli_port_namespace(std::unique_ptr<port_namespace> system)
        : system_(std::move(system)) {}

    void put_first(std::string name) { first_ = std::move(name); }

    std::vector<std::string> candidates() override;
    probe_result probe(std::string_view name) override { return system_->probe(name); }
    port_description describe(std::string_view name) override { return system_->describe(name); }

private:
    std::unique_ptr<port_namespace> system_;
    std::string first_;
};

struct port_choice {
    std::string name; // empty on failure
    outcome result;
};

// given: --port; remembered: "com"/"com"; present: the listed ports; is_present probes;
// denied: the ports that exist but this user may not open, which a failure names.
port_choice choose_port(const std::optional<std::string>& given, std::string_view remembered,
                        const std::vector<std::string>& present,
                        const std::function<bool(std::string_view)>& is_present,
                        const std::vector<std::string>& denied = {});

// "a, b, c", or "none".
std::string port_list_text(const std::vector<std::string>& present);

} // namespace zev1::cli
