#include "serial/platform/posix/sysfs.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/sysmacros.h>

namespace zev1::posix {
namespace fs = std::filesystem;
namespace {

// sysfs attributes are short; a longer one is cut here rather than read on and on.
constexpr std::size_t max_attribute = 256;
// How far up from a tty's device its USB device may lie (interface, then device).
constexpr int max_walk = 12;

// The attribute's text without its line feed, control characters shown as '?'; empty
// when it cannot be read.
std::string attribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<char, max_attribute> buffer{};
    in.read(buffer.data(), buffer.size());
    std::string text(buffer.data(),
                     static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r')) {
        text.pop_back();
    }
    std::replace_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    return text;
}

bool is_uart_family(std::string_view tty) {
    return tty.size() > 4 && tty.substr(0, 4) == "ttyS" && tty[4] >= '0' && tty[4] <= '9';
}

// The families of a machine's own UARTs (a PC's, a board's, a system on a chip's): never
// a USB adapter, whatever sysfs can tell.
bool is_machine_family(std::string_view tty) {
    for (std::string_view family : {"ttyS", "ttyAMA", "ttyTHS", "ttymxc", "ttyO"}) {
        if (tty.size() > family.size() && tty.substr(0, family.size()) == family &&
            tty[family.size()] >= '0' && tty[family.size()] <= '9') {
            return true;
        }
    }
    return false;
}

// p lies below root (and is not root itself).
bool below(const fs::path& p, const fs::path& root) {
    auto [r, q] = std::mismatch(root.begin(), root.end(), p.begin(), p.end());
    return r == root.end() && q != p.end();
}

std::string subsystem_of(const fs::path& device) {
    std::error_code ec;
    return fs::read_symlink(device / "subsystem", ec).filename().native();
}

} // namespace

sysfs_verdict tty_in_sysfs(const fs::path& sys, std::string_view tty) {
    std::error_code ec;
    const fs::path classes = sys / "class" / "tty";
    if (!fs::is_directory(classes, ec)) {
        return sysfs_verdict::unknown;
    }
    const fs::path entry = classes / tty;
    if (!fs::exists(entry, ec)) {
        return sysfs_verdict::absent;
    }
    // A Bluetooth serial link is a tty without a device of its own; it exists while bound.
    if (tty.substr(0, 6) == "rfcomm") {
        return sysfs_verdict::present;
    }
    if (!fs::exists(entry / "device" / "driver", ec)) {
        return sysfs_verdict::absent;
    }
    if (is_uart_family(tty)) {
        // The serial core's port type; 0 (PORT_UNKNOWN) when no UART answered the probe.
        const std::string type = attribute(entry / "type");
        unsigned value = 1;
        const auto [end, error] = std::from_chars(type.data(), type.data() + type.size(), value);
        if (!type.empty() && error == std::errc() && end == type.data() + type.size() &&
            value == 0) {
            return sysfs_verdict::absent;
        }
    }
    return sysfs_verdict::present;
}

port_description tty_description(const fs::path& sys, std::string_view tty) {
    port_description d;
    d.machine_port = is_machine_family(tty);
    std::error_code ec;
    const fs::path device = fs::canonical(sys / "class" / "tty" / tty / "device", ec);
    if (ec) {
        return d;
    }
    const fs::path root = fs::canonical(sys / "devices", ec);
    if (ec) {
        return d;
    }
    fs::path p = device;
    for (int depth = 0; depth < max_walk && below(p, root); ++depth, p = p.parent_path()) {
        if (fs::exists(p / "idVendor", ec)) {
            d.manufacturer = attribute(p / "manufacturer");
            d.product = attribute(p / "product");
            d.vid = attribute(p / "idVendor");
            d.pid = attribute(p / "idProduct");
            d.serial_number = attribute(p / "serial");
            // The USB device's own name is its place on the bus: the root hub and the
            // port numbers on the way to it ("1-1.2" is port 2 of the hub on port 1).
            d.location = p.filename().native();
            return d;
        }
    }
    // Not USB: the first device up from the tty that is not the serial core's own.
    p = device;
    for (int depth = 0; depth < max_walk && below(p, root); ++depth, p = p.parent_path()) {
        const std::string bus = subsystem_of(p);
        if (!bus.empty() && bus != "serial-base" && bus != "tty") {
            d.location = bus + " " + p.filename().native();
            d.machine_port = true;
            break;
        }
    }
    return d;
}

bool held_by_lock(const fs::path& locks, dev_t device, ino_t inode) {
    // Each line names the locked file as major:minor:inode, the numbers of its file
    // system's device in hex as the kernel prints them ("%02x:%02x:%lu"); no other field
    // of a line holds two colons.
    std::array<char, 64> key{};
    const int n = std::snprintf(key.data(), key.size(), "%02x:%02x:%lu", major(device),
                                minor(device), static_cast<unsigned long>(inode));
    if (n <= 0 || static_cast<std::size_t>(n) >= key.size()) {
        return false;
    }
    const std::string_view wanted(key.data(), static_cast<std::size_t>(n));
    std::ifstream in(locks);
    std::string token;
    while (in >> token) {
        if (token == wanted) {
            return true;
        }
    }
    return false;
}

} // namespace zev1::posix
