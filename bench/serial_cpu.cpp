// serial_cpu [seconds]: CPU cost of the serial port's receive path.
//
// A child process plays the far end of a pseudo-terminal and sends a continuous stream
// paced at 115200 baud (11 520 bytes/s, 8N1); this process receives it through the port
// object and drains the ring every 10 ms, as the poll loop does. Then the port stays
// open with nothing arriving. For both phases it prints the CPU time of this process
// (all threads, not the child) as a share of one core. Default: 10 s per phase.
#include "serial/serial.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

double cpu_seconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The sending end: paced writes every millisecond until killed.
[[noreturn]] void send_paced(int master) {
    constexpr double bytes_per_second = 115200.0 / 10.0;
    std::vector<std::uint8_t> chunk(64);
    std::uint64_t sent = 0;
    std::uint8_t value = 0;
    const auto start = clock_type::now();
    for (;;) {
        double elapsed = std::chrono::duration<double>(clock_type::now() - start).count();
        auto due = static_cast<std::uint64_t>(elapsed * bytes_per_second);
        while (sent < due) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(due - sent, 64));
            for (std::size_t i = 0; i < n; ++i) {
                chunk[i] = value++;
            }
            ssize_t w = ::write(master, chunk.data(), n);
            if (w <= 0) {
                break;
            }
            sent += static_cast<std::uint64_t>(w);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Drains the ring every 10 ms for `seconds`; returns the bytes taken and checks order.
std::uint64_t drain_for(zev1::serial& port, double seconds, std::uint64_t& order_errors) {
    std::uint64_t taken = 0;
    std::uint8_t expect = 0;
    bool first = true;
    const auto until = clock_type::now() + std::chrono::duration<double>(seconds);
    while (clock_type::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        while (port.rx_count() > 0) {
            std::uint8_t b = port.rx_get();
            if (!first && b != expect) {
                ++order_errors;
            }
            first = false;
            expect = static_cast<std::uint8_t>(b + 1);
            ++taken;
        }
    }
    return taken;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (seconds <= 0) {
        seconds = 10.0;
    }
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("serial_cpu: pseudo-terminal");
        return 1;
    }
    std::string slave = ::ptsname(master);

    zev1::serial port;
    if (port.open_port(slave, 115200, 0, 8, false) != zev1::open_failure::none) {
        std::fprintf(stderr, "serial_cpu: %s cannot be opened: %s\n", slave.c_str(),
                     port.last_open_reason().c_str());
        return 1;
    }

    pid_t child = ::fork();
    if (child == 0) {
        send_paced(master);
    }
    std::uint64_t order_errors = 0;
    double cpu0 = cpu_seconds();
    auto t0 = clock_type::now();
    std::uint64_t bytes = drain_for(port, seconds, order_errors);
    double busy_cpu = cpu_seconds() - cpu0;
    double busy_wall = std::chrono::duration<double>(clock_type::now() - t0).count();
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    // Let what was already sent come in before the quiet phase.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    while (port.rx_count() > 0) {
        port.rx_get();
    }

    cpu0 = cpu_seconds();
    t0 = clock_type::now();
    std::uint64_t idle_errors = 0;
    std::uint64_t idle_bytes = drain_for(port, seconds, idle_errors);
    double idle_cpu = cpu_seconds() - cpu0;
    double idle_wall = std::chrono::duration<double>(clock_type::now() - t0).count();

    std::printf("receiving at 115200 baud: %llu bytes in %.1f s (%.0f bytes/s), %llu out of "
                "order, %llu overruns\n",
                static_cast<unsigned long long>(bytes), busy_wall, bytes / busy_wall,
                static_cast<unsigned long long>(order_errors),
                static_cast<unsigned long long>(port.overrun_count()));
    std::printf("  CPU %.3f s = %.2f %% of one core (target < 5 %%)\n", busy_cpu,
                100.0 * busy_cpu / busy_wall);
    std::printf("open, silent port: %llu bytes in %.1f s\n",
                static_cast<unsigned long long>(idle_bytes), idle_wall);
    std::printf("  CPU %.3f s = %.3f %% of one core (target < 0.5 %%)\n", idle_cpu,
                100.0 * idle_cpu / idle_wall);
    port.stop_thread();
    ::close(master);
    return 0;
}
