#pragma once
// Port names on Linux. A user names a device node without "/dev/" (ttyUSB0) and a
// virtual port by its file name in the ports/ folder next to the program (ZEV1-SIM);
// an absolute path is taken as it is, so any pseudo-terminal can be named.
#include "serial/port_namespace.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zev1::posix {

struct port_dirs {
    std::filesystem::path dev = "/dev";
    std::filesystem::path ports; // empty: no virtual ports
    std::filesystem::path sys = "/sys";
    std::filesystem::path locks = "/proc/locks";
};

// /dev, /sys, /proc/locks and the ports/ folder beside the running executable.
port_dirs default_port_dirs();

// Device nodes of the serial families present in dirs.dev (family order, then number),
// then the entries of dirs.ports sorted by name; at most max_port_candidates.
std::vector<std::string> list_port_candidates(const port_dirs& dirs);

// The path to open for a port name; empty when the name cannot name a port.
std::string port_path(std::string_view name, const port_dirs& dirs);

// Whether the file at path could be opened as a port right now, without opening it: it
// exists (a link's target too), this user may read and write it (access()), and no
// program holds a lock on it (locks: the format of /proc/locks).
probe_result probe_path(const std::string& path,
                        const std::filesystem::path& locks = "/proc/locks");

// probe_path for the port name, and for a serial device node also what sysfs says: a
// node without a driver bound, or a ttyS node without a UART, is absent.
probe_result probe_name(std::string_view name, const port_dirs& dirs);

// What identifies the named port: from sysfs for a device node, the link's target for a
// virtual port.
port_description describe_name(std::string_view name, const port_dirs& dirs);

// The system's names. An absolute path that has been probed present (the remembered port
// of the settings file, a pseudo-terminal given by path) is listed after the other
// candidates from then on, so that the rescan that follows a successful probe lists it
// and it can be chosen like any other port.
class device_namespace final : public port_namespace {
public:
    static constexpr std::size_t max_remembered_paths = 8;

    explicit device_namespace(port_dirs dirs) : dirs_(std::move(dirs)) {}
    std::vector<std::string> candidates() override;
    probe_result probe(std::string_view name) override;
    port_description describe(std::string_view name) override { return describe_name(name, dirs_); }

private:
    port_dirs dirs_;
    std::vector<std::string> paths_; // absolute paths seen present, oldest first
};

} // namespace zev1::posix
