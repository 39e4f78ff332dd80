// Port names on Linux: candidate listing, name-to-path mapping and the presence probe.
#include "serial/platform/posix/port_names.h"

#include "serial/platform/posix/sysfs.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace zev1::posix {
namespace {

// Serial device families, in the order a scan lists them.
constexpr std::array<std::string_view, 8> families = {
    "ttyACM", "ttyUSB", "ttyS", "ttyAMA", "ttyTHS", "ttymxc", "ttyO", "rfcomm",
};

struct device_name {
    std::size_t family;
    unsigned number;
    std::string name;
};

// The family index and number of a device node name such as ttyUSB12.
bool parse_device(std::string_view name, device_name& out) {
    for (std::size_t f = 0; f < families.size(); ++f) {
        std::string_view prefix = families[f];
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) {
            continue;
        }
        std::string_view digits = name.substr(prefix.size());
        if (!std::all_of(digits.begin(), digits.end(),
                         [](char c) { return c >= '0' && c <= '9'; }) ||
            digits.size() > 6) {
            continue;
        }
        unsigned number = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), number);
        out = {f, number, std::string(name)};
        return true;
    }
    return false;
}

bool plain_name(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

// The tty name that sysfs knows the port by: a device node of the serial families, named
// plainly or by its path in the device folder; empty for anything else.
std::string sysfs_name(std::string_view name, const port_dirs& dirs) {
    std::filesystem::path path(name);
    if (!name.empty() && name[0] == '/') {
        if (path.parent_path() != dirs.dev) {
            return {};
        }
    } else if (!plain_name(name)) {
        return {};
    }
    device_name d;
    return parse_device(path.filename().native(), d) ? d.name : std::string();
}

} // namespace

port_dirs default_port_dirs() {
    port_dirs dirs;
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        dirs.ports = exe.parent_path() / "ports";
    }
    return dirs;
}

std::vector<std::string> list_port_candidates(const port_dirs& dirs) {
    std::vector<device_name> devices;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dirs.dev, ec), end; !ec && it != end;
         it.increment(ec)) {
        device_name d;
        if (parse_device(it->path().filename().native(), d)) {
            devices.push_back(std::move(d));
        }
    }
    std::sort(devices.begin(), devices.end(), [](const device_name& a, const device_name& b) {
        return a.family != b.family ? a.family < b.family : a.number < b.number;
    });

    std::vector<std::string> links;
    if (!dirs.ports.empty()) {
        for (std::filesystem::directory_iterator it(dirs.ports, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::string name = it->path().filename().native();
            if (plain_name(name) && name[0] != '.') {
                links.push_back(std::move(name));
            }
        }
        std::sort(links.begin(), links.end());
    }

    std::vector<std::string> names;
    for (auto& d : devices) {
        names.push_back(std::move(d.name));
    }
    for (auto& l : links) {
        names.push_back(std::move(l));
    }
    if (names.size() > max_port_candidates) {
        names.resize(max_port_candidates);
    }
    return names;
}

std::string port_path(std::string_view name, const port_dirs& dirs) {
    if (!name.empty() && name[0] == '/') {
        return name.find('\0') == std::string_view::npos ? std::string(name) : std::string();
    }
    if (!plain_name(name)) {
        return {};
    }
    device_name d;
    if (parse_device(name, d) || dirs.ports.empty()) {
        return (dirs.dev / name).native();
    }
    return (dirs.ports / name).native();
}

probe_result probe_path(const std::string& path, const std::filesystem::path& locks) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        return probe_result::absent;
    }
    if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0) {
        return errno == EACCES ? probe_result::no_permission : probe_result::absent;
    }
    // flock binds every process, root included, so a port that anyone holds with it (this
    // program too) is absent, as an exclusive open reports it on Windows. A program that
    // claims a port only with TIOCEXCL cannot be seen without opening the device; its
    // port then fails to open and is reported as in use.
    if (held_by_lock(locks, st.st_dev, st.st_ino)) {
        return probe_result::absent;
    }
    return probe_result::present;
}

probe_result probe_name(std::string_view name, const port_dirs& dirs) {
    const std::string path = port_path(name, dirs);
    if (path.empty()) {
        return probe_result::absent;
    }
    const std::string tty = sysfs_name(name, dirs);
    if (!tty.empty() && tty_in_sysfs(dirs.sys, tty) == sysfs_verdict::absent) {
        return probe_result::absent;
    }
    return probe_path(path, dirs.locks);
}

port_description describe_name(std::string_view name, const port_dirs& dirs) {
    const std::string tty = sysfs_name(name, dirs);
    if (!tty.empty()) {
        return tty_description(dirs.sys, tty);
    }
    port_description d;
    const std::string path = port_path(name, dirs);
    std::error_code ec;
    if (!path.empty() && std::filesystem::is_symlink(path, ec)) {
        d.location = "link to " + std::filesystem::read_symlink(path, ec).native();
    }
    return d;
}

std::vector<std::string> device_namespace::candidates() {
    std::vector<std::string> names = list_port_candidates(dirs_);
    for (const std::string& path : paths_) {
        if (names.size() >= max_port_candidates) {
            break;
        }
        names.push_back(path);
    }
    return names;
}

probe_result device_namespace::probe(std::string_view name) {
    const probe_result result = probe_name(name, dirs_);
    const bool absolute = !name.empty() && name[0] == '/';
    if (absolute && result == probe_result::present &&
        std::find(paths_.begin(), paths_.end(), name) == paths_.end()) {
        if (paths_.size() == max_remembered_paths) {
            paths_.erase(paths_.begin());
        }
        paths_.emplace_back(name);
    }
    return result;
}

} // namespace zev1::posix

namespace zev1 {

probe_result probe_port(std::string_view name) {
    return posix::probe_name(name, posix::default_port_dirs());
}

std::unique_ptr<port_namespace> make_system_namespace() {
    return std::make_unique<posix::device_namespace>(posix::default_port_dirs());
}

} // namespace zev1
