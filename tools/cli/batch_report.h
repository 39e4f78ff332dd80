#pragma once
// How a batch reports its units: a line each on standard output (plain, or one JSON
// object) as it finishes, a summary at the end, and on request a JUnit XML file (one
// test case a unit) and a CSV file (one row a unit) for a quality system. The key is
// never written out: a key that was sent or read shows as ***.
#include "batch_unit.h"

#include <string>
#include <vector>

namespace zev1::cli {

struct batch_totals {
    std::size_t ok = 0;
    std::size_t failed = 0;
    double seconds = 0;
};

batch_totals totals_of(const std::vector<unit_report>& units, double seconds);

// One JSON object and a newline: port, label, usb_serial, id, action, status, ok,
// attempts, seconds, line, message, written (the settings handed to the port, or null)
// and, for a read row, read.
std::string unit_json(const unit_report& unit);
// {"ok":N,"failed":N,"seconds":S} and a newline.
std::string summary_json(const batch_totals& totals);

// "ok      PORT  LABEL  auto  3.1 s" or "failed  PORT  LABEL  auto  status 4: ..." and a
// newline.
std::string unit_line(const unit_report& unit);
std::string summary_line(const batch_totals& totals, bool interrupted);

std::string junit_xml(const std::vector<unit_report>& units, double seconds);
std::string csv_report(const std::vector<unit_report>& units);

// A text as an XML attribute value or element text (escaped; bytes that are not valid
// UTF-8 and control characters as U+FFFD, which XML 1.0 cannot carry otherwise).
std::string xml_text(std::string_view text);
// A CSV field, quoted when it must be (RFC 4180).
std::string csv_field(std::string_view text);

} // namespace zev1::cli
