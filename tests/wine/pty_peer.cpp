// zev1-pty-peer: the native far end of the COM ports that the Win32 tests use under Wine.
//
//   zev1-pty-peer --dosdevices DIR --port com5=echo [--port ...] -- COMMAND [ARGS...]
//
// For every --port it opens a pseudo-terminal, points DIR/<name> (Wine's COM device
// link) at the slave, runs COMMAND, serves the masters until COMMAND ends, removes the
// links and exits with COMMAND's status. Behaviours:
//   echo     sends back every byte it receives
//   deaf     never reads, so the port's output buffer fills
//   control  echoes, except: 'H' sends a 200-byte pattern, 'S' answers '1' when the line
//            is raw 115200 8N1 without flow control (else '0'), 'X' hangs up and plugs a
//            fresh pseudo-terminal in under the same link
#include "support/child_process.h"
#include "support/pty_link.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using zev1::test::write_all;

enum class mode { echo, deaf, control };

struct port : zev1::test::pty_link {
    mode behaviour = mode::echo;
};

bool line_is_raw_115200_8n1(int master) {
    termios t{};
    if (::tcgetattr(master, &t) != 0) {
        return false;
    }
    return ::cfgetospeed(&t) == B115200 && (t.c_cflag & CSIZE) == CS8 &&
           (t.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0 &&
           (t.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (t.c_oflag & OPOST) == 0 &&
           (t.c_iflag & (IXON | IXOFF | ICRNL)) == 0;
}

void serve(port& p) {
    std::uint8_t buf[4096];
    ssize_t n = ::read(p.master, buf, sizeof buf);
    if (n <= 0) {
        return;
    }
    if (p.behaviour == mode::echo) {
        write_all(p.master, buf, static_cast<std::size_t>(n));
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] == 'H') {
            std::uint8_t burst[200];
            for (std::size_t k = 0; k < sizeof burst; ++k) {
                burst[k] = static_cast<std::uint8_t>(k * 7 + 40);
            }
            write_all(p.master, burst, sizeof burst);
        } else if (buf[i] == 'S') {
            std::uint8_t ok = line_is_raw_115200_8n1(p.master) ? '1' : '0';
            write_all(p.master, &ok, 1);
        } else if (buf[i] == 'X') {
            p.unplug();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            p.plug();
            return;
        } else {
            write_all(p.master, &buf[i], 1);
        }
    }
}

int usage() {
    std::fprintf(stderr, "usage: zev1-pty-peer --dosdevices DIR --port comN=echo|deaf|control "
                         "... -- COMMAND [ARGS...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    fs::path dir;
    std::vector<port> ports;
    const int first = zev1::test::command_after_options(
        argc, argv, [&](std::string_view option, const std::string& value) {
            const auto eq = value.find('=');
            if (option == "--dosdevices") {
                dir = value;
            } else if (option == "--port" && eq != std::string::npos) {
                const std::string how = value.substr(eq + 1);
                ports.push_back({{value.substr(0, eq)},
                                 how == "deaf"      ? mode::deaf
                                 : how == "control" ? mode::control
                                                    : mode::echo});
            } else {
                return false;
            }
            return true;
        });
    if (first < 0 || dir.empty()) {
        return usage();
    }
    for (auto& p : ports) {
        p.link = dir / p.link;
        if (!p.plug()) {
            std::fprintf(stderr, "zev1-pty-peer: cannot set up %s\n", p.link.c_str());
            return 2;
        }
    }

    zev1::test::child_process command(std::vector<std::string>(argv + first, argv + argc), {},
                                      true);
    while (command.started() && !command.wait(std::chrono::milliseconds(0))) {
        std::vector<pollfd> fds; // poll passes over the -1 of a deaf or unplugged port
        for (const auto& p : ports) {
            fds.push_back({p.behaviour == mode::deaf ? -1 : p.master, POLLIN, 0});
        }
        ::poll(fds.data(), fds.size(), 10);
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if ((fds[i].revents & POLLIN) != 0) {
                serve(ports[i]);
            }
        }
    }
    for (auto& p : ports) {
        p.unplug();
    }
    if (!command.started()) {
        std::fprintf(stderr, "zev1-pty-peer: cannot start %s\n", argv[first]);
    }
    return command.exit_status().value_or(command.started() ? 1 : 127);
}
