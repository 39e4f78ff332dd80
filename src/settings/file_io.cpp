#include "settings/file_io.h"

#include "settings/file_os.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <system_error>

namespace zev1 {
namespace fs = std::filesystem;

namespace {

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
        reason = errno != 0 ? std::error_code(errno, std::generic_category()).message()
                            : "it cannot be opened";
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
        const bool written = file_os::write_and_flush(tmp, bytes, reason, target);
        if (written && stop == write_stop::before_rename) {
            reason = "stopped before the rename";
            return false;
        }
        if (written && file_os::replace_file(tmp, target, reason)) {
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
    return file_os::can_create_beside(target, folder / target.filename());
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
    if (!file_os::make_folder(dir, reason)) {
        return false;
    }
    if (!fs::is_directory(dir, ec)) {
        reason = path_text(dir) + " is not a folder";
        return false;
    }
    return true;
} catch (...) {
    reason = "cannot create the folder " + path_text(dir);
    return false;
}

} // namespace zev1
