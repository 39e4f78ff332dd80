#pragma once
// What the kernel tells about a tty and its device through sysfs and /proc, read without
// opening the device: whether a driver is bound to it (and, for the ttyS family, whether a
// UART was found behind it: a PC has many ttyS nodes with nothing behind them), what
// identifies its USB device, and whether some program holds a lock on it.
#include "serial/port_description.h"

#include <filesystem>
#include <string_view>
#include <sys/types.h>

namespace zev1::posix {

enum class sysfs_verdict {
    present, // a driver is bound (and a ttyS port has a UART)
    absent,  // unknown to sysfs, no driver, or a ttyS port without a UART
    unknown, // no sysfs to ask (a container without /sys): cannot tell
};

// sys: the sysfs root ("/sys"); tty: the tty's name (ttyUSB0).
sysfs_verdict tty_in_sysfs(const std::filesystem::path& sys, std::string_view tty);

// For a USB tty the USB device's manufacturer, product, vendor and product id and serial
// number, found by walking up from the tty's device; otherwise its bus and device name
// ("pnp 00:00") as the location.
port_description tty_description(const std::filesystem::path& sys, std::string_view tty);

// Whether locks (the format of /proc/locks) shows a lock on the file with this device
// and inode: flock's, as this program and many terminal programs take on a port.
bool held_by_lock(const std::filesystem::path& locks, dev_t device, ino_t inode);

} // namespace zev1::posix
