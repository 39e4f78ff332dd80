#include "pty_port.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace zev1::sim {

using posix::unique_fd;

namespace {

std::string os_error(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Raw 115200 8N1 without flow control on the slave. The settings stay with the pair
// after this descriptor is closed, so the tool finds the line ready even before it
// configures it itself.
bool make_slave_raw(const std::string& path, std::string& error) {
    unique_fd slave(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.valid()) {
        error = os_error("cannot open " + path);
        return false;
    }
    termios tio{};
    if (::tcgetattr(slave.get(), &tio) != 0) {
        error = os_error("tcgetattr " + path);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    if (::tcsetattr(slave.get(), TCSANOW, &tio) != 0) {
        error = os_error("tcsetattr " + path);
        return false;
    }
    return true;
}

// Points link at target: a new link under a temporary name renamed over the old one,
// so the name never dangles half-made.
bool place_link(const std::string& link, const std::string& target, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(link);
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ec);
        if (ec) {
            error = "cannot create folder " + path.parent_path().string() + ": " + ec.message();
            return false;
        }
    }
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = link + " exists and is not a symbolic link; not replacing it";
        return false;
    }
    const std::string temp = link + ".new." + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0) {
        error = os_error("cannot create link " + temp);
        return false;
    }
    if (::rename(temp.c_str(), link.c_str()) != 0) {
        error = os_error("cannot rename link onto " + link);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace

bool pty_port::open(const std::string& link, std::string& error) {
    close();
    unique_fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.valid()) {
        error = os_error("posix_openpt");
        return false;
    }
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
        error = os_error("grantpt/unlockpt");
        return false;
    }
    std::array<char, 128> name{};
    if (::ptsname_r(master.get(), name.data(), name.size()) != 0) {
        error = os_error("ptsname");
        return false;
    }
    const std::string slave(name.data());
    const int flags = ::fcntl(master.get(), F_GETFL);
    if (flags < 0 || ::fcntl(master.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        error = os_error("fcntl O_NONBLOCK");
        return false;
    }
    if (!make_slave_raw(slave, error) || !place_link(link, slave, error)) {
        return false;
    }
    master_ = std::move(master);
    slave_path_ = slave;
    link_ = link;
    return true;
}

void pty_port::close() {
    if (!master_.valid()) {
        return;
    }
    std::array<char, 256> target{};
    const ssize_t n = ::readlink(link_.c_str(), target.data(), target.size() - 1);
    if (n > 0 && std::string(target.data(), static_cast<std::size_t>(n)) == slave_path_) {
        ::unlink(link_.c_str());
    }
    master_.reset();
    slave_path_.clear();
}

tx_sink::result pty_port::write(std::span<const std::uint8_t> bytes) {
    for (;;) {
        const ssize_t n = ::write(master_.get(), bytes.data(), bytes.size());
        if (n > 0) {
            return {outcome::written, static_cast<std::size_t>(n)};
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return {outcome::full, 0};
        }
        return {outcome::failed, 0};
    }
}

} // namespace zev1::sim
