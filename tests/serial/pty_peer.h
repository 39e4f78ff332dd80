#pragma once
// The far end of a pseudo-terminal for the serial tests: the test holds the master and
// the port under test opens the slave by its path, as it would a real device.
#include "serial/platform/posix/unique_fd.h"

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <span>
#include <stdlib.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zev1::test {

class pty_peer {
public:
    pty_peer() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (master_.valid() && ::grantpt(master_.get()) == 0 && ::unlockpt(master_.get()) == 0) {
            const char* name = ::ptsname(master_.get());
            slave_ = name != nullptr ? name : "";
        }
    }

    bool ok() const { return master_.valid() && !slave_.empty(); }
    const std::string& slave_path() const { return slave_; }
    int master_fd() const { return master_.get(); }
    // The cable pulled: the slave side sees a hang-up.
    void close() { master_.reset(); }

    bool write(std::span<const std::uint8_t> bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::write(master_.get(), bytes.data(), bytes.size());
            if (n > 0) {
                bytes = bytes.subspan(static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{master_.get(), POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else {
                return false;
            }
        }
        return true;
    }

    // Reads until `count` bytes have come or `timeout` has passed.
    std::vector<std::uint8_t> read(std::size_t count,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        std::vector<std::uint8_t> got;
        auto until = std::chrono::steady_clock::now() + timeout;
        std::vector<std::uint8_t> chunk(4096);
        while (got.size() < count && std::chrono::steady_clock::now() < until) {
            pollfd p{master_.get(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) {
                continue;
            }
            ssize_t n =
                ::read(master_.get(), chunk.data(), std::min(chunk.size(), count - got.size()));
            if (n > 0) {
                got.insert(got.end(), chunk.begin(), chunk.begin() + n);
            }
        }
        return got;
    }

    // Everything waiting now (a short quiet time ends it).
    std::vector<std::uint8_t> drain() {
        return read(static_cast<std::size_t>(-1) / 2, std::chrono::milliseconds(300));
    }

private:
    posix::unique_fd master_;
    std::string slave_;
};

} // namespace zev1::test
