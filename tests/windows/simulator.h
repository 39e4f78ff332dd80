#pragma once
// zev1-sim (the native program) playing the controller behind a port the configurator
// lists: on Linux a pseudo-terminal link, under Wine the link behind COM5 in the Wine
// prefix. Started unpaced (--baud 0) with the scenario's options; its JSON lines tell
// what it received.
#include "support/sim_lines.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zev1::scenario {

class simulator {
public:
    // Starts the simulator and waits for its ready line (ready() tells).
    explicit simulator(const std::vector<std::string>& options);
    ~simulator(); // quits it
    simulator(const simulator&) = delete;
    simulator& operator=(const simulator&) = delete;

    bool ready() const;
    // The port as the configurator lists it: the link's path on Linux, "COM5" under Wine.
    std::string port() const;
    // A command line on its standard input ("say TEXT", "silent on", ...).
    void command(std::string_view line);
    // The frames it received with a valid checksum, optionally of one type.
    std::vector<std::vector<std::uint8_t>> received(int type = -1) const;
    std::size_t events(std::string_view event) const;

    // A file of the scenario's as the simulator names it (for --state).
    static std::string native_path(const std::filesystem::path& path);

private:
    struct process;
    std::unique_ptr<process> process_;
};

// The settings file that names the simulator's port as the remembered one.
inline std::string remembered_port(const simulator& sim) {
    return "[com]\ncom=" + sim.port() + "\nopen=1\n";
}

} // namespace zev1::scenario
