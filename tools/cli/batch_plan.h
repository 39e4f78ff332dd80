#pragma once
// The plan of `zev1-wifi batch`: a CSV file (RFC 4180, UTF-8, a header row naming the
// columns in any order, lines that start with '#' ignored), one row a port to set up.
// Columns: port (required), action, ssid, key, security, endpoint, verify, label.
//
// Everything is checked before any port is opened. A value that the single write
// command would refuse (a text too long for its field, a security type not in the list,
// a text that is not valid UTF-8 or holds a control character) refuses the whole plan
// with status 7; a plan that cannot be read as one (CSV syntax, an unknown column or
// action, a port named twice, a field the row's action does not use) with status 2.
// Either message names the line, and the column where there is one.
#include "exit_status.h"
#include "memory/wifi_settings.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zev1::cli {

enum class unit_action { automatic, write, read };

std::string_view action_name(unit_action action);

// Which port a row is for.
struct port_selector {
    enum class kind { name, serial, location, rest };
    kind by = kind::name;
    std::string text; // the name, USB serial number or USB location; empty for "*"

    bool operator==(const port_selector&) const = default;
};

struct plan_row {
    std::size_t line = 0; // where the row starts in the file
    port_selector port;
    unit_action action = unit_action::automatic;
    // write: the fields to replace, empty ones keep what was read (security as it is
    // sent); auto: the endpoint, empty for the default; read: all empty.
    wifi_settings fields;
    bool verify = true; // read back and compare (write and auto)
    std::string label;
};

struct plan_result {
    std::vector<plan_row> rows; // the plan, when failure is ok
    outcome failure;
};

// One CSV record: its fields and the line it starts on.
struct csv_record {
    std::size_t line = 0;
    std::vector<std::string> fields;
};

struct csv_result {
    std::vector<csv_record> records;
    std::size_t error_line = 0; // 0: read whole
    std::string error;
};

// The records of a CSV text; lines starting with '#' outside a quoted field are skipped,
// and so are records whose fields are all blank.
csv_result read_csv(std::string_view text);

// Whether a key from a key file can be sent: not empty, valid UTF-8, no control
// character (status 7), at most 64 bytes (7).
outcome check_key(std::string_view key);

// text: the plan's bytes (a UTF-8 byte order mark is skipped). key_from_file: the key
// (passed by check_key) for write rows whose key is empty.
plan_result parse_plan(std::string_view text, const std::optional<std::string>& key_from_file);

// Reads the plan file and, when given, the key file (its first line); a file that cannot
// be read is status 2. Messages start with the plan's file name.
plan_result read_plan(const std::filesystem::path& plan_file,
                      const std::optional<std::filesystem::path>& key_file);

} // namespace zev1::cli
