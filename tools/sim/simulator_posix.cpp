// The POSIX side of the simulator: a pseudo-terminal master and standard input, waited
// on together with ppoll.
#include "simulator.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace zev1::sim {

namespace {

using namespace std::chrono_literals;

// While no tool has the slave open the master reports a hang-up on every poll, so it
// is left out of the poll and looked at again after this pause.
constexpr auto peer_check_interval = 20ms;

} // namespace

bool simulator::open_port() {
    std::string error;
    if (!port_.open(options_.link, error)) {
        std::fprintf(stderr, "zev1-sim: %s\n", error.c_str());
        return false;
    }
    json_line()
        .text("event", "ready")
        .text("link", port_.link())
        .text("pty", port_.slave_path())
        .hex("header", controller_.header())
        .text("id", options_.id)
        .number("baud", options_.baud)
        .boolean("state_loaded", state_loaded_)
        .emit();
    return true;
}

int simulator::run(const volatile std::sig_atomic_t& stop, const sigset_t& wait_mask) {
    while (!quit_ && stop == 0) {
        auto now = sim_clock::now();
        run_plug_timers(now);
        if (port_.is_open() && !peer_present_ && now >= next_peer_check_) {
            check_peer(now);
        }
        pump(now);
        serve_pending(now);

        std::array<pollfd, 2> fds{};
        nfds_t count = 0;
        int stdin_slot = -1;
        int port_slot = -1;
        if (stdin_open_) {
            stdin_slot = static_cast<int>(count);
            fds[count++] = {STDIN_FILENO, POLLIN, 0};
        }
        if (port_.is_open() && peer_present_) {
            short events = 0;
            if (rx_.room() > 0) {
                events |= POLLIN;
            }
            if (tx_.blocked()) {
                events |= POLLOUT;
            }
            port_slot = static_cast<int>(count);
            fds[count++] = {port_.master(), events, 0}; // a hang-up is reported regardless
        }
        std::optional<sim_clock::time_point> wake = tx_.next_due();
        if (port_.is_open() && !peer_present_ && (!wake || next_peer_check_ < *wake)) {
            wake = next_peer_check_;
        }
        if (const auto timer = next_plug_timer(); timer && (!wake || *timer < *wake)) {
            wake = timer;
        }
        timespec timeout{};
        const timespec* timeout_ptr = nullptr;
        if (wake) {
            const auto wait = std::max(sim_clock::duration::zero(), *wake - sim_clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            timeout_ptr = &timeout;
        }
        const int ready = ::ppoll(fds.data(), count, timeout_ptr, &wait_mask);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("zev1-sim: ppoll");
            return 1;
        }
        now = sim_clock::now();
        if (port_slot >= 0) {
            const short re = fds[static_cast<std::size_t>(port_slot)].revents;
            if ((re & (POLLIN | POLLHUP | POLLERR)) != 0) {
                read_port((re & (POLLHUP | POLLERR)) != 0, now);
            }
        }
        if (stdin_slot >= 0 && fds[static_cast<std::size_t>(stdin_slot)].revents != 0) {
            read_stdin();
        }
    }
    port_.close();
    json_line().text("event", "exit").emit();
    return 0;
}

void simulator::check_peer(sim_clock::time_point now) {
    pollfd fd{port_.master(), POLLIN, 0};
    if (::poll(&fd, 1, 0) >= 0 && (fd.revents & POLLHUP) == 0) {
        on_peer_open();
    } else {
        next_peer_check_ = now + peer_check_interval;
    }
}

void simulator::on_hangup(sim_clock::time_point now) {
    if (!peer_present_) {
        return;
    }
    next_peer_check_ = now + peer_check_interval;
    json_line().text("event", "peer-closed").emit();
    forget_peer();
    // Bytes already written towards the slave would reach the next tool that opens it.
    ::tcflush(port_.master(), TCIOFLUSH);
}

void simulator::read_port(bool hangup, sim_clock::time_point now) {
    std::array<std::uint8_t, 1024> buffer{};
    while (rx_.room() > 0) {
        const std::size_t want = std::min<std::size_t>(buffer.size(), rx_.room());
        const ssize_t n = ::read(port_.master(), buffer.data(), want);
        if (n > 0) {
            rx_.append(std::span(buffer).first(static_cast<std::size_t>(n)));
            if (!hangup) {
                break; // one read a wake-up; the loop serves and comes back
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        hangup = true; // EIO or end of file: the last slave descriptor was closed
        break;
    }
    if (hangup) {
        on_hangup(now);
    }
}

void simulator::read_stdin() {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) {
        return;
    }
    if (n <= 0) {
        stdin_ended();
        return;
    }
    take_stdin(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
}

void simulator::unplug() {
    if (!port_.is_open()) {
        return;
    }
    forget_peer();
    const std::string link = port_.link();
    port_.close();
    rx_.clear();
    decoder_ = frame_decoder{};
    json_line().text("event", "unplug").text("link", link).emit();
}

void simulator::replug() {
    unplug();
    std::string error;
    if (!port_.open(options_.link, error)) {
        json_line().text("error", "replug").text("reason", error).emit();
        return;
    }
    next_peer_check_ = sim_clock::now();
    json_line()
        .text("event", "replug")
        .text("link", port_.link())
        .text("pty", port_.slave_path())
        .emit();
}

} // namespace zev1::sim
