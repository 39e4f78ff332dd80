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

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
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
        const auto end = clock_type::now() + timeout;
        for (;;) {
            for (const auto& line : lines) {
                bool all = true;
                for (const auto& part : parts) {
                    all = all && line.find(part) != std::string::npos;
                }
                if (all) {
                    return true;
                }
            }
            if (clock_type::now() >= end || ended) {
                return false;
            }
            pump(50);
        }
    }
};

bool write_all(int fd, const bytes& b) {
    std::size_t done = 0;
    while (done < b.size()) {
        const ssize_t n = ::write(fd, b.data() + done, b.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

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
    check(write_all(master, request), what + ": request written");
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
    fs::path dir;
    std::string port_name;
    int first = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--" && i + 1 < argc) {
            first = i + 1;
            break;
        }
        if (i + 1 >= argc) {
            return usage();
        }
        if (a == "--dosdevices") {
            dir = argv[++i];
        } else if (a == "--port") {
            port_name = argv[++i];
        } else {
            return usage();
        }
    }
    if (first < 0 || dir.empty() || port_name.empty()) {
        return usage();
    }
    // A simulator that ended early must show up as a failed check, not kill this program.
    std::signal(SIGPIPE, SIG_IGN);

    // The pseudo-terminal behind Wine's COM link. The slave stays open here too, so the
    // master reads no hang-up before the simulator has opened the port.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("zev1-sim-wine-client: posix_openpt");
        return 2;
    }
    const std::string slave_path = ::ptsname(master);
    const int slave = ::open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const fs::path link = dir / port_name;
    std::error_code ec;
    fs::create_directories(dir, ec);
    fs::remove(link, ec);
    fs::create_symlink(slave_path, link, ec);
    if (slave < 0 || ec) {
        std::fprintf(stderr, "zev1-sim-wine-client: cannot set up %s\n", link.c_str());
        return 2;
    }

    int to_child[2];
    int from_child[2];
    if (::pipe2(to_child, O_CLOEXEC) != 0 || ::pipe2(from_child, O_CLOEXEC) != 0) {
        std::perror("zev1-sim-wine-client: pipe");
        return 2;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(to_child[0], STDIN_FILENO);
        ::dup2(from_child[1], STDOUT_FILENO);
        ::execvp(argv[first], &argv[first]);
        std::perror("zev1-sim-wine-client: exec");
        ::_exit(127);
    }
    ::close(to_child[0]);
    ::close(from_child[1]);
    child_output out;
    out.fd = from_child[0];

    const bool ready = out.wait_for({"\"event\":\"ready\"", "\"port\":\"COM"}, start_timeout);
    check(ready, "ready line naming the COM port");
    if (ready) {
        exchange(master, out, "echo", make_frame(3, frame_header{}),
                 make_frame(4, sim_header, text_bytes("ZEV1-SIM")));
        // 0x5200..0x52FF lies below the settings block: erased flash.
        exchange(master, out, "read 256", make_frame(5, sim_header, block_header(256, 0x5200)),
                 make_frame(6, sim_header, concat(block_header(256, 0x5200), bytes(256, 0xFF))));
        exchange(master, out, "read ssid", make_frame(5, sim_header, block_header(8, 0x530B)),
                 make_frame(6, sim_header, concat(block_header(8, 0x530B), text_bytes("TestNet"))));
        check(!out.wait_for({"\"error\""}, std::chrono::milliseconds(0)),
              "no protocol error reported");
    }

    const std::string quit = "quit\n";
    (void)!::write(to_child[1], quit.data(), quit.size());
    check(out.wait_for({"\"event\":\"exit\""}, answer_timeout), "exit line after quit");
    int status = 0;
    const auto end = clock_type::now() + answer_timeout;
    pid_t done = 0;
    while ((done = ::waitpid(child, &status, WNOHANG)) == 0 && clock_type::now() < end) {
        out.pump(50);
    }
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    check(done == child && WIFEXITED(status) && WEXITSTATUS(status) == 0,
          "exit status 0 (got " +
              (done == child && WIFEXITED(status) ? std::to_string(WEXITSTATUS(status))
                                                  : std::string("none")) +
              ")");

    ::close(to_child[1]);
    ::close(from_child[0]);
    fs::remove(link, ec);
    ::close(slave);
    ::close(master);
    std::printf("%s\n", failures == 0 ? "PASS" : "FAILED");
    return failures == 0 ? 0 : 1;
}
