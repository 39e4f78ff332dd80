#pragma once
// Which plan row sets up which port: a row naming a port takes that port, a serial= or
// location= row the one present port whose USB identity says so, and the "*" row every
// other present port but the machine's own UARTs (a ttyS0 on the board is never a
// controller; a row may still name it). Decided from the port listing alone; nothing is
// opened.
#include "batch_plan.h"
#include "exit_status.h"
#include "serial/port_description.h"

#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace zev1::cli {

struct present_port {
    std::string name;
    port_description description;
};

// A unit to run: a row of the plan (its index) on a port.
struct unit_plan {
    std::size_t row = 0;
    std::string port;
    std::string usb_serial;
};

// A row or port that cannot be set up, decided without opening anything.
struct unit_refusal {
    std::size_t row = 0;
    std::vector<std::string> ports; // the ports it concerns; none when no port matched
    outcome result;
};

struct port_assignment {
    std::vector<unit_plan> units;
    // serial= or location= rows that match no present port (when missing_fails) or
    // several, status 3.
    std::vector<unit_refusal> refused;
    // Ports that more than one row names, status 2.
    std::vector<unit_refusal> conflicts;
};

// present: the ports present now, in listing order. skip: ports not to hand out (set up
// already, or being set up). missing_fails: a serial= or location= row that matches no
// port is refused (false: it waits for one). A row that names a port not present is
// handed out all the same when missing_fails (opening it says why it fails), else waits.
port_assignment assign_ports(const std::vector<plan_row>& rows,
                             const std::vector<present_port>& present,
                             const std::set<std::string>& skip, bool missing_fails);

} // namespace zev1::cli
