// The serial platform layer on Linux: termios, eventfd and poll().
//
// Events: the seven slots are flags; one eventfd wakes the I/O thread when another
// thread sets a flag while it sleeps in poll(). The I/O thread sets most flags itself
// (completions, read requests from the notification), and those cost no system call.
//
// Overlapped operations are emulated: a started read, write or line-event wait is
// carried out inside wait_any() when poll() says the tty is ready, and its completion
// sets the operation's "done" slot, as the system does for an OVERLAPPED record. A
// hang-up (EIO, POLLHUP, POLLERR: the device vanished or the pty's other end closed)
// fails whatever is outstanding, which ends the I/O thread as an I/O error does.
#include "serial/port_os.h"

#include "serial/platform/posix/port_names.h"
#include "serial/platform/posix/tty_calls.h"
#include "serial/platform/posix/unique_fd.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace zev1 {
namespace {

// How often the modem lines are looked at while a line-event wait is outstanding
// (a tty offers no pollable notification for them).
constexpr int modem_poll_ms = 50;

std::string os_reason(int error) {
    return std::error_code(error, std::generic_category()).message();
}

bool manual_reset(int slot) {
    return slot == ev_read_done || slot == ev_write_done || slot == ev_line_done;
}

bool baud_constant(std::uint32_t baud, speed_t& out) {
    struct entry {
        std::uint32_t baud;
        speed_t speed;
    };
    static constexpr std::array<entry, 19> table = {{
        {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
        {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
        {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    }};
    for (const auto& e : table) {
        if (e.baud == baud) {
            out = e.speed;
            return true;
        }
    }
    return false;
}

// Raw line settings: no echo, no line editing, no signals, no translation, no flow
// control; reads return as soon as one byte is there.
// On failure, reason says why.
bool configure(int fd, const line_settings& s, posix::tty_calls& calls, std::string& reason) {
    speed_t speed{};
    if (!baud_constant(s.baud, speed) || s.byte_size < 5 || s.byte_size > 8 || s.parity < 0 ||
        s.parity > 2) {
        reason = "no such line settings on a tty";
        return false;
    }
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        reason = os_reason(errno);
        return false;
    }
    ::cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    static constexpr std::array<tcflag_t, 4> sizes = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[static_cast<std::size_t>(s.byte_size - 5)] | CREAD | CLOCAL;
    if (s.parity != 0) {
        t.c_cflag |= PARENB | (s.parity == 1 ? PARODD : 0);
        t.c_iflag |= INPCK;
    }
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0 ||
        calls.tcsetattr(fd, TCSANOW, t) != 0) {
        reason = os_reason(errno);
        return false;
    }
    // tcsetattr succeeds when any part was applied: check what stuck.
    termios check{};
    if (::tcgetattr(fd, &check) != 0 || ::cfgetospeed(&check) != speed ||
        (check.c_cflag & CSIZE) != (t.c_cflag & CSIZE) ||
        (check.c_cflag & PARENB) != (t.c_cflag & PARENB)) {
        reason = "the tty did not take the line settings";
        return false;
    }
    return true;
}

} // namespace

struct port_os::state {
    posix::unique_fd wake{::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
    std::array<std::atomic<bool>, event_slot_count> signalled{};
    std::atomic<bool> sleeping{false};
    // The tty; written by open/close, read by the escapes on the GUI thread.
    std::atomic<int> fd{-1};

    // Operations in flight, touched only by the I/O thread (and by open before it starts).
    bool hung_up = false;
    bool read_active = false;
    bool read_failed = false;
    std::span<std::uint8_t> read_buffer;
    std::uint32_t read_count = 0;
    bool write_active = false;
    bool write_failed = false;
    std::span<const std::uint8_t> write_block;
    bool line_active = false;
    bool line_failed = false;
    bool modem_readable = false;
    int modem_last = 0;
    std::uint32_t line_mask = 0;

    void signal(int slot) {
        signalled[static_cast<std::size_t>(slot)].store(true);
        if (sleeping.load()) {
            std::uint64_t one = 1;
            [[maybe_unused]] auto n = ::write(wake.get(), &one, sizeof one);
        }
    }

    int take_signalled() {
        for (int slot = 0; slot < event_slot_count; ++slot) {
            auto& flag = signalled[static_cast<std::size_t>(slot)];
            if (manual_reset(slot) ? flag.load() : flag.exchange(false)) {
                return slot;
            }
        }
        return -1;
    }

    void finish_read(bool ok, std::uint32_t count) {
        read_active = false;
        read_failed = !ok;
        read_count = count;
        signal(ev_read_done);
    }
    void finish_write(bool ok) {
        write_active = false;
        write_failed = !ok;
        signal(ev_write_done);
    }
    void finish_line(bool ok, std::uint32_t mask) {
        line_active = false;
        line_failed = !ok;
        line_mask = mask;
        signal(ev_line_done);
    }

    void hang_up() {
        hung_up = true;
        if (read_active) {
            finish_read(false, 0);
        }
        if (write_active) {
            finish_write(false);
        }
        if (line_active) {
            finish_line(false, 0);
        }
    }

    // Writes as much of the block as the tty takes now.
    void push_write(int tty) {
        while (!write_block.empty()) {
            ssize_t n = ::write(tty, write_block.data(), write_block.size());
            if (n > 0) {
                write_block = write_block.subspan(static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return;
            } else {
                finish_write(false);
                return;
            }
        }
        finish_write(true);
    }

    void service_tty(int tty, short revents) {
        const bool broken = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (read_active && (revents & POLLIN) != 0) {
            ssize_t n = ::read(tty, read_buffer.data(), read_buffer.size());
            if (n > 0) {
                finish_read(true, static_cast<std::uint32_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                // End of file on a tty: the line was hung up.
                hang_up();
                return;
            }
        }
        if (write_active && (revents & POLLOUT) != 0) {
            push_write(tty);
        }
        if (broken) {
            hang_up();
        }
    }

    void check_modem(int tty) {
        int now = 0;
        if (::ioctl(tty, TIOCMGET, &now) != 0) {
            return;
        }
        std::uint32_t mask = 0;
        if (((now ^ modem_last) & TIOCM_RI) != 0) {
            mask |= line_ev_ring;
        }
        if (((now ^ modem_last) & TIOCM_CD) != 0) {
            mask |= line_ev_rlsd;
        }
        modem_last = now;
        if (mask != 0) {
            finish_line(true, mask);
        }
    }
};

port_os::port_os() : s_(std::make_unique<state>()) {}
port_os::~port_os() {
    close();
}

bool port_os::events_valid() const {
    return s_->wake.valid();
}

void port_os::set_event(int slot) {
    if (slot >= 0 && slot < event_slot_count) {
        s_->signal(slot);
    }
}

void port_os::reset_event(int slot) {
    if (slot >= 0 && slot < event_slot_count) {
        s_->signalled[static_cast<std::size_t>(slot)].store(false);
    }
}

int port_os::wait_any() {
    state& s = *s_;
    for (;;) {
        int slot = s.take_signalled();
        if (slot >= 0) {
            return slot;
        }
        const int tty = s.fd.load();
        const bool outstanding = s.read_active || s.write_active || s.line_active;
        if (tty < 0 || (s.hung_up && !outstanding)) {
            // Nothing can complete any more on a vanished port: the caller ends the thread.
            return -1;
        }
        std::array<pollfd, 2> fds{};
        fds[0] = {s.wake.get(), POLLIN, 0};
        nfds_t count = 1;
        if (outstanding) {
            short events = 0;
            events |= s.read_active ? POLLIN : 0;
            events |= s.write_active ? POLLOUT : 0;
            fds[1] = {tty, events, 0};
            count = 2;
        }
        const bool watch_modem = s.line_active && s.modem_readable;

        // A setter that sees `sleeping` writes the eventfd; one that does not has set its
        // flag before this second look at the flags.
        s.sleeping.store(true);
        slot = s.take_signalled();
        if (slot >= 0) {
            s.sleeping.store(false);
            return slot;
        }
        int ready = ::poll(fds.data(), count, watch_modem ? modem_poll_ms : -1);
        s.sleeping.store(false);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (fds[0].revents != 0) {
            std::uint64_t drained = 0;
            [[maybe_unused]] auto n = ::read(s.wake.get(), &drained, sizeof drained);
        }
        if (count == 2 && fds[1].revents != 0) {
            s.service_tty(tty, fds[1].revents);
        }
        if (watch_modem && s.line_active) {
            s.check_modem(tty);
        }
    }
}

open_result port_os::open(std::string_view name, const line_settings& settings) {
    close();
    state& s = *s_;
    s.hung_up = false;
    s.read_active = s.write_active = s.line_active = false;
    s.read_failed = s.write_failed = s.line_failed = false;
    s.read_count = 0;
    s.line_mask = 0;

    open_result result;
    posix::tty_calls& calls = posix::active_tty_calls();
    const std::string path = posix::port_path(name, posix::default_port_dirs());
    posix::unique_fd tty;
    if (!path.empty()) {
        tty.reset(calls.open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    }
    if (!tty.valid()) {
        const int error = errno;
        result.failure = open_failure::no_device;
        result.reason = path.empty() ? "no such port" : os_reason(error);
        result.permission_denied = !path.empty() && error == EACCES;
        // EBUSY: another program holds the tty with TIOCEXCL.
        result.busy = !path.empty() && error == EBUSY;
        return result;
    }
    // TIOCEXCL keeps other non-root openers out of the tty; flock also binds root, and
    // the probe sees the lock in /proc/locks, so the port probes as absent while it is
    // held. A port that someone else holds did not open, as an exclusive open fails on
    // Windows.
    if (calls.flock(tty.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        result.failure = open_failure::no_device;
        result.busy = error == EWOULDBLOCK;
        result.reason = os_reason(error);
        return result;
    }
    // The kernel raises DTR and RTS inside open() on a tty whose speed is not zero (and
    // again when the settings lift the speed from zero). On the controller these lines
    // drive the reset and boot-mode inputs, so they are lowered at once (after the lock
    // alone, so that a port another program holds is never touched) and again after the
    // line settings; they stay low until a line control raises them, as on Windows,
    // where the port opens with both disabled. On a USB adapter each call is a control
    // request, so the moment of raised lines is as short as the adapter allows.
    // A pseudo-terminal has no modem lines and refuses this; that is not a failure.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)calls.ioctl(tty.get(), TIOCMBIC, &lines);
    (void)calls.ioctl(tty.get(), TIOCEXCL, nullptr);
    // There is no line-event mask or time-out record to reject on a tty: both are part of
    // the line settings below, which fail as a whole.
    if (!configure(tty.get(), settings, calls, result.reason)) {
        result.failure = open_failure::line_settings;
        return result;
    }
    (void)calls.ioctl(tty.get(), TIOCMBIC, &lines);
    s.modem_readable = ::ioctl(tty.get(), TIOCMGET, &s.modem_last) == 0;
    s.fd.store(tty.release());
    return result;
}

bool port_os::is_open() const {
    return s_->fd.load() >= 0;
}

void port_os::close() {
    int fd = s_->fd.exchange(-1);
    if (fd >= 0) {
        // Exclusive mode outlives the last close of a pseudo-terminal (its master keeps
        // the tty): left set, no ordinary user could open the port again.
        (void)::ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
}

void port_os::escape(line_escape what) {
    int fd = s_->fd.load();
    if (fd < 0) {
        return;
    }
    int bits =
        (what == line_escape::set_dtr || what == line_escape::clear_dtr) ? TIOCM_DTR : TIOCM_RTS;
    unsigned long request =
        (what == line_escape::set_dtr || what == line_escape::set_rts) ? TIOCMBIS : TIOCMBIC;
    // Pseudo-terminals have no modem lines and refuse this; the result is not used.
    (void)posix::active_tty_calls().ioctl(fd, request, &bits);
}

void port_os::purge_input() {
    const int fd = s_->fd.load();
    if (fd >= 0) {
        (void)posix::active_tty_calls().tcflush(fd, TCIFLUSH);
    }
}

bool open_raises_modem_lines() {
    return true;
}

io_status port_os::start_read(std::span<std::uint8_t> buffer) {
    state& s = *s_;
    if (s.fd.load() < 0 || s.hung_up || buffer.empty()) {
        return io_status::failed;
    }
    s.read_buffer = buffer;
    s.read_active = true;
    s.read_failed = false;
    // Bytes that are already there complete the read at once: while a stream arrives this
    // costs one system call a byte instead of a poll() and a read().
    ssize_t n = ::read(s.fd.load(), buffer.data(), buffer.size());
    if (n > 0) {
        s.finish_read(true, static_cast<std::uint32_t>(n));
        return io_status::done;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return io_status::pending;
    }
    // End of file or an error: the line is gone.
    s.read_active = false;
    s.hang_up();
    return io_status::failed;
}

io_status port_os::collect_read(std::uint32_t& count) {
    state& s = *s_;
    if (s.read_active) {
        return io_status::pending;
    }
    count = s.read_count;
    return s.read_failed ? io_status::failed : io_status::done;
}

io_status port_os::start_write(std::span<const std::uint8_t> block) {
    state& s = *s_;
    const int tty = s.fd.load();
    if (tty < 0 || s.hung_up) {
        return io_status::failed;
    }
    s.write_block = block;
    s.write_active = true;
    s.write_failed = false;
    s.push_write(tty);
    if (s.write_active) {
        return io_status::pending;
    }
    return s.write_failed ? io_status::failed : io_status::done;
}

io_status port_os::collect_write() {
    state& s = *s_;
    if (s.write_active) {
        return io_status::pending;
    }
    return s.write_failed ? io_status::failed : io_status::done;
}

io_status port_os::start_line_wait() {
    state& s = *s_;
    if (s.fd.load() < 0 || s.hung_up) {
        return io_status::failed;
    }
    // Without readable modem lines (a pseudo-terminal) the wait simply never completes.
    s.line_active = true;
    s.line_failed = false;
    return io_status::pending;
}

io_status port_os::collect_line_wait() {
    state& s = *s_;
    if (s.line_active) {
        return io_status::pending;
    }
    return s.line_failed ? io_status::failed : io_status::done;
}

std::uint32_t port_os::line_mask() const {
    return s_->line_mask;
}

std::uint32_t port_os::modem_status() {
    int bits = 0;
    int fd = s_->fd.load();
    if (fd < 0 || ::ioctl(fd, TIOCMGET, &bits) != 0) {
        return 0;
    }
    return ((bits & TIOCM_RI) != 0 ? modem_ring_on : 0) |
           ((bits & TIOCM_CD) != 0 ? modem_rlsd_on : 0);
}

} // namespace zev1
