// zev1-sim-wine-client: checks zev1-sim.exe under Wine from the native side.
//
//   zev1-sim-wine-client --dosdevices DIR --port com5 -- WINE zev1-sim.exe ARGS...
//
// Plugs a pseudo-terminal in as DIR/<port> (Wine's COM device link), starts the command
// with pipes on its standard input and output, waits for its ready line, then plays the
// tool on the master: an echo request and two read requests, each answer compared byte
// for byte with the frame the controller must send, and each exchange looked up in the
// JSON lines. Ends the simulator with "quit". Exit status 0 when everything matched.
//
// The simulator must run with --baud 0 --ssid TestNet and its default id and header.
#include "sim/sim_harness.h"
#include "support/child_process.h"
#include "support/pty_link.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace zev1;
using namespace zev1::simtest;
using clock_type = std::chrono::steady_clock;

constexpr auto start_timeout = std::chrono::seconds(60); // Wine's first start is slow
constexpr auto answer_timeout = std::chrono::seconds(10);

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) {
        ++failures;
    }
}

// The child's standard output, split into lines as it arrives.
struct child_output {
    int fd = -1;
    std::string partial;
    std::vector<std::string> lines;
    bool ended = false; // the child closed its standard output

    void pump(int wait_ms) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, wait_ms) <= 0) {
            return;
        }
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        ended = ended || n == 0;
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\n') {
                std::fprintf(stderr, "sim: %s\n", partial.c_str());
                lines.push_back(std::move(partial));
                partial.clear();
            } else if (buffer[i] != '\r') {
                partial += buffer[i];
            }
        }
    }

    // The first line holding every part, reading on for up to timeout.
    bool wait_for(const std::vector<std::string>& parts, clock_type::duration timeout) {
        const auto holds_all = [&](const std::string& line) {
            return std::all_of(parts.begin(), parts.end(), [&](const std::string& part) {
                return line.find(part) != std::string::npos;
            });
        };
        const auto end = clock_type::now() + timeout;
        while (!std::any_of(lines.begin(), lines.end(), holds_all)) {
            if (clock_type::now() >= end || ended) {
                return false;
            }
            pump(50);
        }
        return true;
    }
};

// Reads from the master until n bytes arrived or the timeout passed; keeps the child's
// output flowing meanwhile so its pipe never fills.
bytes read_master(int master, std::size_t n, child_output& out) {
    bytes got;
    const auto end = clock_type::now() + answer_timeout;
    while (got.size() < n && clock_type::now() < end) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN) != 0) {
            std::uint8_t buffer[1024];
            const ssize_t r = ::read(master, buffer, std::min(sizeof buffer, n - got.size()));
            if (r > 0) {
                got.insert(got.end(), buffer, buffer + r);
            }
        }
        out.pump(0);
    }
    return got;
}

// One request, its answer compared byte for byte, both frames found in the JSON lines.
void exchange(int master, child_output& out, const std::string& what, const bytes& request,
              const bytes& expected) {
    check(test::write_all(master, request.data(), request.size()), what + ": request written");
    const bytes answer = read_master(master, expected.size(), out);
    check(answer == expected, what + ": answer byte for byte (got " + hex(answer) + ")");
    check(out.wait_for({"\"dir\":\"rx\"", "\"hex\":\"" + hex(request) + "\""}, answer_timeout),
          what + ": request in the JSON lines");
    check(out.wait_for({"\"dir\":\"tx\"", "\"hex\":\"" + hex(expected) + "\""}, answer_timeout),
          what + ": answer in the JSON lines");
}

int usage() {
    std::fprintf(stderr,
                 "usage: zev1-sim-wine-client --dosdevices DIR --port comN -- COMMAND...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string dir;
    std::string port_name;
    const int first = test::command_after_options(
        argc, argv, [&](std::string_view option, const std::string& value) {
            if (option != "--dosdevices" && option != "--port") {
                return false;
            }
            (option == "--port" ? port_name : dir) = value;
            return true;
        });
    if (first < 0 || dir.empty() || port_name.empty()) {
        return usage();
    }
    // A simulator that ended early must show up as a failed check, not kill this program.
    std::signal(SIGPIPE, SIG_IGN);

    test::pty_link pty{std::filesystem::path(dir) / port_name};
    if (!pty.plug()) {
        std::fprintf(stderr, "zev1-sim-wine-client: cannot set up %s\n", pty.link.c_str());
        return 2;
    }
    test::child_process sim(std::vector<std::string>(argv + first, argv + argc),
                            {test::child_stream::piped(), test::child_stream::piped(), {}}, true);
    child_output out;
    out.fd = sim.out_fd();

    const bool ready = out.wait_for({"\"event\":\"ready\"", "\"port\":\"COM"}, start_timeout);
    check(ready, "ready line naming the COM port");
    if (ready) {
        exchange(pty.master, out, "echo", make_frame(3, frame_header{}),
                 make_frame(4, sim_header, text_bytes("ZEV1-SIM")));
        // 0x5200..0x52FF lies below the settings block: erased flash.
        exchange(pty.master, out, "read 256", make_frame(5, sim_header, block_header(256, 0x5200)),
                 make_frame(6, sim_header, concat(block_header(256, 0x5200), bytes(256, 0xFF))));
        exchange(pty.master, out, "read ssid", make_frame(5, sim_header, block_header(8, 0x530B)),
                 make_frame(6, sim_header, concat(block_header(8, 0x530B), text_bytes("TestNet"))));
        check(!out.wait_for({"\"error\""}, std::chrono::milliseconds(0)),
              "no protocol error reported");
    }

    sim.write("quit\n");
    check(out.wait_for({"\"event\":\"exit\""}, answer_timeout), "exit line after quit");
    const auto end = clock_type::now() + answer_timeout;
    while (sim.started() && !sim.wait(std::chrono::milliseconds(0)) && clock_type::now() < end) {
        out.pump(50);
    }
    sim.stop(std::chrono::milliseconds(0)); // killed if it still runs
    const auto status = sim.exit_status();
    check(status == 0,
          "exit status 0 (got " + (status ? std::to_string(*status) : std::string("none")) + ")");
    pty.unplug();
    std::printf("%s\n", failures == 0 ? "PASS" : "FAILED");
    return failures == 0 ? 0 : 1;
}
