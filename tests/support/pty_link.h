#pragma once
// The native end of a COM port under Wine, for the programs that hold one (tests/wine): a
// pseudo-terminal behind a link in Wine's dosdevices folder, writing a whole buffer to it,
// and the command line they share, "--option value ... -- COMMAND [ARGS...]".
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace zev1::test {

// A pseudo-terminal whose slave `link` points at. The slave stays open here too, so the
// master reads no hang-up while no one else has the port open.
struct pty_link {
    std::filesystem::path link;
    int master = -1;
    int slave = -1;

    // Opens a fresh pseudo-terminal and points the link at its slave; false when it cannot.
    bool plug() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
            return false;
        }
        const char* name = ::ptsname(master);
        if (name == nullptr) {
            return false;
        }
        slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        std::error_code ec;
        std::filesystem::create_directories(link.parent_path(), ec);
        std::filesystem::remove(link, ec);
        std::filesystem::create_symlink(name, link, ec);
        return !ec && slave >= 0;
    }

    // Removes the link and closes both ends.
    void unplug() {
        std::error_code ec;
        std::filesystem::remove(link, ec);
        for (int* fd : {&slave, &master}) {
            if (*fd >= 0) {
                ::close(*fd);
            }
            *fd = -1;
        }
    }
};

// Writes all n bytes, waiting while the terminal takes no more; false on an error.
inline bool write_all(int fd, const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w > 0) {
            data += w;
            n -= static_cast<std::size_t>(w);
        } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

// Hands each "--option value" pair before "--" to take(option, value), which is false for
// an option it does not know. The index of the command after "--"; -1 for a wrong line.
template <class Take>
int command_after_options(int argc, char** argv, Take take) {
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string_view(argv[i]) == "--") {
            return i + 1;
        }
        if (!take(std::string_view(argv[i]), std::string(argv[i + 1]))) {
            return -1;
        }
    }
    return -1;
}

} // namespace zev1::test
