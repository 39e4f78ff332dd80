#include "serial/platform/posix/unique_fd.h"
#include "state_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zev1::sim {

using posix::unique_fd;

namespace {

std::string os_error(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

} // namespace

load_result load_state(const std::string& path, memory_image& memory, std::string& error) {
    unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            return load_result::absent;
        }
        error = os_error("cannot open", path);
        return load_result::failed;
    }
    // Read one byte more than fits, to tell a file that is too long.
    std::vector<std::uint8_t> bytes(memory_image::size + 1);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = os_error("cannot read", path);
            return load_result::failed;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got > memory_image::size) {
        error = "state file " + path + " is longer than the 1 MiB memory";
        return load_result::failed;
    }
    memory.store_block(0, std::span(bytes).first(got));
    return load_result::loaded;
}

bool save_state(const std::string& path, const memory_image& memory, std::string& error) {
    const std::string temp = path + ".tmp";
    {
        unique_fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd.valid()) {
            error = os_error("cannot create", temp);
            return false;
        }
        const auto bytes = memory.image_at(0);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                error = os_error("cannot write", temp);
                ::unlink(temp.c_str());
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        if (::fdatasync(fd.get()) != 0) {
            error = os_error("cannot flush", temp);
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = os_error("cannot rename onto", path);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace zev1::sim
