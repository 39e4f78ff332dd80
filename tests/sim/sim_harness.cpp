#include "sim_harness.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace zev1::simtest {

bytes make_frame(std::uint8_t type, const frame_header& header, const bytes& data) {
    bytes out(data.size() + frame_overhead);
    out.resize(build_frame(out, type, header, data));
    return out;
}

bytes block_header(std::uint32_t length, std::uint32_t address, std::uint32_t status) {
    bytes out;
    for (std::uint32_t v : {length, address, status}) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    return out;
}

bytes text_bytes(std::string_view text, bool zero) {
    bytes out(text.begin(), text.end());
    if (zero) {
        out.push_back(0);
    }
    return out;
}

bytes concat(bytes a, const bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string hex(const bytes& b) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t x : b) {
        out += digits[x >> 4];
        out += digits[x & 15];
    }
    return out;
}

client::client(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    ::tcsetattr(fd_, TCSANOW, &tio);
}

client::~client() {
    close();
}

void client::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void client::send(const bytes& b) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < b.size()) {
        const ssize_t n = ::write(fd_, b.data() + done, b.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

bytes client::read(std::size_t n, ms timeout) {
    bytes out;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (fd_ >= 0 && out.size() < n) {
        const auto left = std::chrono::duration_cast<ms>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        std::uint8_t buffer[512];
        const ssize_t got = ::read(fd_, buffer, std::min(sizeof buffer, n - out.size()));
        if (got > 0) {
            out.insert(out.end(), buffer, buffer + got);
        } else if (got == 0 || errno != EAGAIN) {
            break; // hung up
        }
    }
    return out;
}

bool client::sees_hangup(ms timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (fd_ >= 0 && std::chrono::steady_clock::now() < end) {
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, 10);
        std::uint8_t buffer[256];
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got == 0 || (got < 0 && errno != EAGAIN)) {
            return true;
        }
    }
    return false;
}

} // namespace zev1::simtest
