#include "settings/file_io.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zev1 {
namespace fs = std::filesystem;

namespace {

std::string errno_text(int err) {
    return std::error_code(err, std::generic_category()).message();
}

// The file a write replaces: the target of a symbolic link, else the path itself.
fs::path write_target(const fs::path& path) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        fs::path target = fs::weakly_canonical(path, ec);
        if (!ec) {
            return target;
        }
    }
    return path;
}

#ifdef _WIN32

std::string win_error_text(DWORD err) {
    return std::error_code(static_cast<int>(err), std::system_category()).message();
}

class handle {
public:
    explicit handle(HANDLE h) : h_(h) {}
    ~handle() { close(); }
    handle(const handle&) = delete;
    handle& operator=(const handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    bool close() {
        const bool ok = !valid() || CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

bool write_and_flush(const fs::path& tmp, std::span<const std::uint8_t> bytes, std::string& reason,
                     const fs::path& /*target*/) {
    handle file(CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        reason = "cannot create " + path_text(tmp) + ": " + win_error_text(GetLastError());
        return false;
    }
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) || written == 0) {
            reason = "cannot write " + path_text(tmp) + ": " + win_error_text(GetLastError());
            return false;
        }
        bytes = bytes.subspan(written);
    }
    if (!FlushFileBuffers(file.get()) || !file.close()) {
        reason = "cannot flush " + path_text(tmp) + ": " + win_error_text(GetLastError());
        return false;
    }
    return true;
}

bool replace_file(const fs::path& tmp, const fs::path& target, std::string& reason) {
    if (!MoveFileExW(tmp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = "cannot replace the file: " + win_error_text(GetLastError());
        return false;
    }
    return true;
}

#else

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

#endif

} // namespace

std::string path_text(const fs::path& path) {
    try {
        const std::u8string u = path.u8string();
        return std::string(u.begin(), u.end());
    } catch (...) {
        return "?";
    }
}

read_status read_whole_file(const fs::path& path, std::vector<std::uint8_t>& out,
                            std::string& reason) {
    out.clear();
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found) {
        return read_status::missing;
    }
    if (ec) {
        reason = ec.message();
        return read_status::failed;
    }
    if (fs::is_directory(st)) {
        reason = "it is a folder";
        return read_status::failed;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = errno != 0 ? errno_text(errno) : "it cannot be opened";
        return read_status::failed;
    }
    std::array<char, 4096> buf{};
    while (in.read(buf.data(), buf.size()) || in.gcount() > 0) {
        out.insert(out.end(), buf.begin(), buf.begin() + in.gcount());
    }
    if (in.bad()) {
        out.clear();
        reason = "read error";
        return read_status::failed;
    }
    return read_status::ok;
}

fs::path temp_path_for(const fs::path& path) {
    fs::path tmp = path;
    tmp += ".tmp";
    return tmp;
}

bool write_file_atomically(const fs::path& path, std::span<const std::uint8_t> bytes,
                           std::string& reason, write_stop stop) {
    try {
        const fs::path target = write_target(path);
        const fs::path tmp = temp_path_for(target);
        const bool written = write_and_flush(tmp, bytes, reason, target);
        if (written && stop == write_stop::before_rename) {
            reason = "stopped before the rename";
            return false;
        }
        if (written && replace_file(tmp, target, reason)) {
            return true;
        }
        std::error_code ec;
        fs::remove(tmp, ec);
        return false;
    } catch (const std::exception& e) {
        reason = e.what();
        return false;
    } catch (...) {
        reason = "unknown error";
        return false;
    }
}

bool can_replace_file(const fs::path& path) try {
    const fs::path target = write_target(path);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    fs::path probe = folder / target.filename();
#ifdef _WIN32
    probe += ".probe-" + std::to_string(GetCurrentProcessId());
    if (_waccess(target.c_str(), 0) == 0 && _waccess(target.c_str(), 2) != 0) {
        return false; // read-only: MoveFileEx would not replace it
    }
    // Removed by the system when the handle closes.
    handle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.valid();
#else
    probe += ".probe-" + std::to_string(::getpid());
    unique_fd file(::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file.valid()) {
        return false;
    }
    file.close();
    return ::unlink(probe.c_str()) == 0;
#endif
} catch (...) {
    return false;
}

bool make_folders(const fs::path& dir, std::string& reason) try {
    std::error_code ec;
    if (dir.empty() || fs::is_directory(dir, ec)) {
        return true;
    }
    if (!make_folders(dir.parent_path() == dir ? fs::path() : dir.parent_path(), reason)) {
        return false;
    }
#ifdef _WIN32
    if (!CreateDirectoryW(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        reason =
            "cannot create the folder " + path_text(dir) + ": " + win_error_text(GetLastError());
        return false;
    }
#else
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        reason = "cannot create the folder " + path_text(dir) + ": " + errno_text(errno);
        return false;
    }
#endif
    if (!fs::is_directory(dir, ec)) {
        reason = path_text(dir) + " is not a folder";
        return false;
    }
    return true;
} catch (...) {
    reason = "cannot create the folder " + path_text(dir);
    return false;
}

fs::path executable_path() try {
#ifdef _WIN32
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buf.size());
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), size);
        if (n == 0) {
            return {};
        }
        if (n < size) {
            buf.resize(n);
            return fs::path(buf);
        }
        if (buf.size() >= 32768) {
            return {};
        }
        buf.resize(buf.size() * 2);
    }
#else
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe;
#endif
} catch (...) {
    return {};
}

} // namespace zev1
