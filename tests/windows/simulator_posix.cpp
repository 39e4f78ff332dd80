// The simulator for the Qt and the browser scenarios: a child process on a
// pseudo-terminal link in a private folder, which the scenario's program lists as its
// only port (the Qt windows by the link's path, the page by the USB ids its stand-in for
// the port reports).
#include "support/sim_process.h"
#include "windows/simulator.h"
#ifdef ZEV1_WEB_SCENARIOS
#include "web/web_driver.h"
#endif

namespace zev1::scenario {

struct simulator::process {
    explicit process(const std::vector<std::string>& options) : sim(options) {}
    test::sim_process sim;
    bool ready = false;
};

simulator::simulator(const std::vector<std::string>& options)
    : process_(std::make_unique<process>(options)) {
    process_->ready = process_->sim.wait_ready();
}

simulator::~simulator() = default;

bool simulator::ready() const {
    return process_->ready;
}

std::string simulator::port() const {
#ifdef ZEV1_WEB_SCENARIOS
    return web_port_name(process_->sim.link());
#else
    return process_->sim.link();
#endif
}

void simulator::command(std::string_view line) {
    process_->sim.command(line);
}

std::vector<std::vector<std::uint8_t>> simulator::received(int type) const {
    std::vector<std::vector<std::uint8_t>> out;
    for (auto& f : process_->sim.frames("rx", type)) {
        out.push_back(std::move(f.bytes));
    }
    return out;
}

std::size_t simulator::events(std::string_view event) const {
    return process_->sim.count_lines(
        [&](std::string_view l) { return test::json_field(l, "event") == std::string(event); });
}

std::string simulator::native_path(const std::filesystem::path& path) {
    return path.string();
}

} // namespace zev1::scenario
