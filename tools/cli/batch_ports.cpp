#include "batch_ports.h"

namespace zev1::cli {
namespace {

bool names(const port_selector& s, const present_port& p) {
    switch (s.by) {
    case port_selector::kind::name:
        return s.text == p.name;
    case port_selector::kind::serial:
        return s.text == p.description.serial_number;
    case port_selector::kind::location:
        return s.text == p.description.location;
    case port_selector::kind::rest:
        return false;
    }
    return false;
}

std::string selector_text(const port_selector& s) {
    return s.by == port_selector::kind::serial ? "USB serial number " + s.text
                                               : "USB location " + s.text;
}

} // namespace

port_assignment assign_ports(const std::vector<plan_row>& rows,
                             const std::vector<present_port>& present,
                             const std::set<std::string>& skip, bool missing_fails) {
    port_assignment out;
    std::size_t rest = rows.size();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].port.by == port_selector::kind::rest) {
            rest = r;
        }
    }
    // Each present port: the rows that name it.
    std::vector<std::vector<std::size_t>> ports_of(rows.size());
    for (std::size_t p = 0; p < present.size(); ++p) {
        if (skip.contains(present[p].name)) {
            continue;
        }
        std::vector<std::size_t> by;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (names(rows[r].port, present[p])) {
                by.push_back(r);
            }
        }
        if (by.size() > 1) {
            std::string lines;
            for (std::size_t r : by) {
                lines += (lines.empty() ? "lines " : " and ") + std::to_string(rows[r].line);
            }
            out.conflicts.push_back(
                {by.front(),
                 {present[p].name},
                 outcome::fail(exit_status::usage, lines + " all name port " + present[p].name)});
        } else if (by.size() == 1) {
            ports_of[by.front()].push_back(p);
        } else if (rest < rows.size() && !present[p].description.machine_port) {
            out.units.push_back({rest, present[p].name, present[p].description.serial_number});
        }
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const plan_row& row = rows[r];
        const auto& found = ports_of[r];
        if (row.port.by == port_selector::kind::rest) {
            continue;
        }
        if (row.port.by == port_selector::kind::name) {
            if (!found.empty()) {
                const present_port& p = present[found.front()];
                out.units.push_back({r, p.name, p.description.serial_number});
            } else if (missing_fails && !skip.contains(row.port.text)) {
                out.units.push_back({r, row.port.text, {}});
            }
            continue;
        }
        if (found.size() == 1) {
            const present_port& p = present[found.front()];
            out.units.push_back({r, p.name, p.description.serial_number});
        } else if (found.size() > 1) {
            std::string list;
            std::vector<std::string> ports;
            for (std::size_t p : found) {
                list += (list.empty() ? "" : ", ") + present[p].name;
                ports.push_back(present[p].name);
            }
            out.refused.push_back(
                {r, std::move(ports),
                 outcome::fail(exit_status::no_port, selector_text(row.port) + " is on " +
                                                         std::to_string(found.size()) + " ports (" +
                                                         list + ")")});
        } else if (missing_fails) {
            out.refused.push_back(
                {r,
                 {},
                 outcome::fail(exit_status::no_port,
                               "no present port has " + selector_text(row.port))});
        }
    }
    return out;
}

} // namespace zev1::cli
