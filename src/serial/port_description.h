#pragma once
// What identifies a serial port beyond its name, so that a technician with two adapters
// plugged in can tell which one is the controller: for a USB port its manufacturer and
// product texts, vendor and product id and serial number; otherwise where the port sits
// (a board's own UART, the target of a virtual port's link). Gathered by the port
// namespace of each system; every field may be empty.
#include <string>
#include <string_view>

namespace zev1 {

struct port_description {
    std::string manufacturer;  // USB manufacturer text
    std::string product;       // USB product text, or the system's name for the device
    std::string vid;           // USB vendor id, four hex digits
    std::string pid;           // USB product id, four hex digits
    std::string serial_number; // USB serial number
    // Where the port sits: a USB port's place on the bus as sysfs names it ("1-1.2"),
    // the bus and device of another (a board's UART), the target of a virtual port's link.
    std::string location;
    // A UART of the machine itself (on the board, on a PCI card), never a controller's
    // USB port: a batch's "*" leaves it alone.
    bool machine_port = false;

    bool empty() const {
        return manufacturer.empty() && product.empty() && vid.empty() && pid.empty() &&
               serial_number.empty() && location.empty();
    }
};

// One line of text: "Acme Ltd ZEV1 controller, USB 1234:abcd, serial 0042" (a USB
// port's location is left out), or the location; empty when nothing is known.
std::string description_text(const port_description& d);

// The vendor and product id from a Windows device instance id ("USB\VID_1234&PID_ABCD\0042",
// "FTDIBUS\VID_0403+PID_6001+A5XK3RJTA\0000") and, for a USB device's own id, its serial
// number (the last part, unless the system made one up: those hold '&').
void parse_instance_id(std::string_view id, port_description& d);

} // namespace zev1
