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
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

enum class mode { echo, deaf, control };

struct port {
    fs::path link;
    mode behaviour = mode::echo;
    int master = -1;
    int slave = -1; // held so the master does not see a hang-up while no one has it open
};

bool plug(port& p) {
    p.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (p.master < 0 || ::grantpt(p.master) != 0 || ::unlockpt(p.master) != 0) {
        return false;
    }
    const char* name = ::ptsname(p.master);
    if (name == nullptr) {
        return false;
    }
    p.slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    std::error_code ec;
    fs::remove(p.link, ec);
    fs::create_symlink(name, p.link, ec);
    return !ec && p.slave >= 0;
}

void unplug(port& p) {
    std::error_code ec;
    fs::remove(p.link, ec);
    if (p.slave >= 0) {
        ::close(p.slave);
    }
    if (p.master >= 0) {
        ::close(p.master);
    }
    p.master = p.slave = -1;
}

void send(int fd, const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w > 0) {
            data += w;
            n -= static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EAGAIN) {
            pollfd pf{fd, POLLOUT, 0};
            ::poll(&pf, 1, 100);
        } else {
            return;
        }
    }
}

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
        send(p.master, buf, static_cast<std::size_t>(n));
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] == 'H') {
            std::uint8_t burst[200];
            for (std::size_t k = 0; k < sizeof burst; ++k) {
                burst[k] = static_cast<std::uint8_t>(k * 7 + 40);
            }
            send(p.master, burst, sizeof burst);
        } else if (buf[i] == 'S') {
            std::uint8_t ok = line_is_raw_115200_8n1(p.master) ? '1' : '0';
            send(p.master, &ok, 1);
        } else if (buf[i] == 'X') {
            unplug(p);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            plug(p);
            return;
        } else {
            send(p.master, &buf[i], 1);
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
    int first = -1;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
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
            std::string spec = argv[++i];
            auto eq = spec.find('=');
            if (eq == std::string::npos) {
                return usage();
            }
            std::string how = spec.substr(eq + 1);
            port p;
            p.link = spec.substr(0, eq);
            p.behaviour = how == "deaf"      ? mode::deaf
                          : how == "control" ? mode::control
                                             : mode::echo;
            ports.push_back(p);
        } else {
            return usage();
        }
    }
    if (first < 0 || dir.empty()) {
        return usage();
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    for (auto& p : ports) {
        p.link = dir / p.link;
        if (!plug(p)) {
            std::fprintf(stderr, "zev1-pty-peer: cannot set up %s\n", p.link.c_str());
            return 2;
        }
    }

    pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[first], &argv[first]);
        std::perror("zev1-pty-peer: exec");
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        std::vector<pollfd> fds;
        std::vector<port*> owners;
        for (auto& p : ports) {
            if (p.master >= 0 && p.behaviour != mode::deaf) {
                fds.push_back({p.master, POLLIN, 0});
                owners.push_back(&p);
            }
        }
        ::poll(fds.data(), fds.size(), 10);
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if ((fds[i].revents & POLLIN) != 0) {
                serve(*owners[i]);
            }
        }
    }
    for (auto& p : ports) {
        unplug(p);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
