// POSIX: file descriptors, fsync and rename; the settings folder under XDG_CONFIG_HOME.
#include "settings/file_os.h"

#include "settings/file_io.h"
#include "settings/settings_place.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <iterator>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace zev1 {
namespace fs = std::filesystem;

namespace {

std::string errno_text(int err) {
    return std::error_code(err, std::generic_category()).message();
}

class unique_fd {
public:
    explicit unique_fd(int fd) : fd_(fd) {}
    ~unique_fd() { close(); }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    bool close() {
        const bool ok = fd_ < 0 || ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

} // namespace

namespace file_os {

bool write_and_flush(const fs::path& tmp, std::span<const std::uint8_t> bytes, std::string& reason,
                     const fs::path& target) {
    unique_fd file(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.valid()) {
        reason = "cannot create " + path_text(tmp) + ": " + errno_text(errno);
        return false;
    }
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        (void)::fchmod(file.get(), old.st_mode & 07777); // keep the old file's permissions
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(file.get(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            reason = "cannot write " + path_text(tmp) + ": " + errno_text(n < 0 ? errno : EIO);
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    if (::fsync(file.get()) != 0 || !file.close()) {
        reason = "cannot flush " + path_text(tmp) + ": " + errno_text(errno);
        return false;
    }
    return true;
}

bool replace_file(const fs::path& tmp, const fs::path& target, std::string& reason) {
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        reason = "cannot replace the file: " + errno_text(errno);
        return false;
    }
    // Make the rename itself durable; a folder that cannot be synced is not an error.
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    unique_fd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) {
        (void)::fsync(folder.get());
    }
    return true;
}

bool can_create_beside(const fs::path& /*target*/, fs::path probe) {
    // A read-only file in a writable folder is replaced by the rename, as it always was.
    probe += ".probe-" + std::to_string(::getpid());
    unique_fd file(::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file.valid()) {
        return false;
    }
    file.close();
    return ::unlink(probe.c_str()) == 0;
}

bool make_folder(const fs::path& dir, std::string& reason) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        reason = "cannot create the folder " + path_text(dir) + ": " + errno_text(errno);
        return false;
    }
    return true;
}

bool crlf_line_breaks() {
    return false;
}

} // namespace file_os

fs::path executable_path() try {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe;
} catch (...) {
    return {};
}

std::optional<fs::path> process_environment(std::string_view name) try {
    if (const char* value = std::getenv(std::string(name).c_str());
        value != nullptr && *value != '\0') {
        return fs::path(value);
    }
    if (name == "HOME") {
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384u);
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buf.data(), buf.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr && *found->pw_dir != '\0') {
            return fs::path(found->pw_dir);
        }
    }
    return std::nullopt;
} catch (...) {
    return std::nullopt;
}

fs::path user_settings_folder(const environment_lookup& env) {
    // A relative XDG_CONFIG_HOME is to be ignored.
    if (auto config = env("XDG_CONFIG_HOME"); config && config->is_absolute()) {
        return *config / "zev1";
    }
    if (auto home = env("HOME"); home && home->is_absolute()) {
        return *home / ".config" / "zev1";
    }
    return {};
}

bool may_keep_settings_beside(const fs::path& beside_program) {
    const fs::path folder = beside_program.parent_path().lexically_normal();
    const auto first = folder.begin();
    return !(folder.is_absolute() && std::distance(first, folder.end()) >= 2 &&
             *std::next(first) == "usr");
}

} // namespace zev1
