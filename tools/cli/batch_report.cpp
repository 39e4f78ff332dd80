#include "batch_report.h"

#include "commands.h"
#include "json_texts.h"

#include <cmath>
#include <cstdio>

namespace zev1::cli {
namespace {

constexpr std::string_view masked_key = "***";

std::string masked(const std::string& key) {
    return key.empty() ? std::string() : std::string(masked_key);
}

// Seconds to the millisecond, as a JSON number and as text.
double rounded(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

std::string seconds_text(double seconds, int decimals) {
    std::array<char, 32> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, seconds);
    return buffer.data();
}

json settings_object(json_texts& text, const wifi_settings& s) {
    return json{{"ssid", text(s.ssid)},
                {"key", masked(s.key)},
                {"security", text(s.security)},
                {"endpoint", text(s.endpoint)}};
}

std::string name_of(const unit_report& unit) {
    return unit.label.empty() ? unit.port : unit.label;
}

} // namespace

batch_totals totals_of(const std::vector<unit_report>& units, double seconds) {
    batch_totals t;
    for (const unit_report& u : units) {
        ++(u.result.ok() ? t.ok : t.failed);
    }
    t.seconds = seconds;
    return t;
}

std::string unit_json(const unit_report& unit) {
    json_texts text;
    json document = {{"port", text(unit.port)},
                     {"label", text(unit.label)},
                     {"usb_serial", text(unit.usb_serial)},
                     {"id", text(unit.id)},
                     {"action", action_name(unit.action)},
                     {"status", static_cast<int>(unit.result.status)},
                     {"ok", unit.result.ok()},
                     {"attempts", unit.attempts},
                     {"seconds", rounded(unit.seconds)},
                     {"line", unit.line},
                     {"message", text(unit.result.message)},
                     {"written", unit.written ? settings_object(text, *unit.written) : json()}};
    if (unit.read) {
        document["read"] = settings_object(text, *unit.read);
    }
    return text.dump(document) + "\n";
}

std::string summary_json(const batch_totals& totals) {
    const json document = {
        {"ok", totals.ok}, {"failed", totals.failed}, {"seconds", rounded(totals.seconds)}};
    return document.dump() + "\n";
}

std::string unit_line(const unit_report& unit) {
    std::string line = unit.result.ok() ? "ok      " : "failed  ";
    line += printable(unit.port);
    if (!unit.label.empty()) {
        line += "  " + printable(unit.label);
    }
    line += "  " + std::string(action_name(unit.action));
    if (unit.result.ok()) {
        line += "  " + seconds_text(unit.seconds, 1) + " s";
        if (unit.attempts > 1) {
            line += ", " + std::to_string(unit.attempts) + " attempts";
        }
    } else {
        line += "  status " + std::to_string(static_cast<int>(unit.result.status)) + ": " +
                printable(unit.result.message);
        if (unit.written && unit.result.message.find("written") == std::string::npos) {
            line += " (settings written)";
        }
    }
    return line + "\n";
}

std::string summary_line(const batch_totals& totals, bool interrupted) {
    return std::to_string(totals.ok) + " ok, " + std::to_string(totals.failed) + " failed in " +
           seconds_text(totals.seconds, 1) + " s" + (interrupted ? " (interrupted)" : "") + "\n";
}

std::string xml_text(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t n = utf8_sequence_length(text.substr(i));
        const char c = text[i];
        if (n == 0 || (n == 1 && static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n')) {
            out += "\xEF\xBF\xBD";
            i += n == 0 ? 1 : n;
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\t':
            out += "&#9;";
            break;
        default:
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string junit_xml(const std::vector<unit_report>& units, double seconds) {
    const batch_totals t = totals_of(units, seconds);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<testsuites tests=\"" + std::to_string(units.size()) + "\" failures=\"" +
           std::to_string(t.failed) + "\" time=\"" + seconds_text(seconds, 3) + "\">\n";
    out += "  <testsuite name=\"zev1-wifi batch\" tests=\"" + std::to_string(units.size()) +
           "\" failures=\"" + std::to_string(t.failed) + "\" errors=\"0\" time=\"" +
           seconds_text(seconds, 3) + "\">\n";
    for (const unit_report& u : units) {
        out += "    <testcase name=\"" + xml_text(name_of(u)) + "\" classname=\"" +
               xml_text(u.port) + "\" time=\"" + seconds_text(u.seconds, 3) + "\">\n";
        out += "      <properties>\n";
        auto property = [&out](std::string_view name, std::string_view value) {
            out += "        <property name=\"" + std::string(name) + "\" value=\"" +
                   xml_text(value) + "\"/>\n";
        };
        property("action", action_name(u.action));
        property("usb_serial", u.usb_serial);
        property("id", u.id);
        property("attempts", std::to_string(u.attempts));
        property("status", std::to_string(static_cast<int>(u.result.status)));
        if (u.written) {
            property("written.ssid", u.written->ssid);
            property("written.key", masked(u.written->key));
            property("written.security", u.written->security);
            property("written.endpoint", u.written->endpoint);
        }
        out += "      </properties>\n";
        if (!u.result.ok()) {
            out += "      <failure message=\"" + xml_text(u.result.message) + "\" type=\"status " +
                   std::to_string(static_cast<int>(u.result.status)) + "\">" +
                   xml_text(u.result.message) + "</failure>\n";
        }
        out += "    </testcase>\n";
    }
    out += "  </testsuite>\n</testsuites>\n";
    return out;
}

std::string csv_field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

std::string csv_report(const std::vector<unit_report>& units) {
    std::string out = "port,label,usb_serial,id,action,status,ok,attempts,seconds,line,message,"
                      "written,ssid,key,security,endpoint\r\n";
    for (const unit_report& u : units) {
        const wifi_settings* s = u.written ? &*u.written : u.read ? &*u.read : nullptr;
        const std::vector<std::string> fields = {u.port,
                                                 u.label,
                                                 u.usb_serial,
                                                 u.id,
                                                 std::string(action_name(u.action)),
                                                 std::to_string(static_cast<int>(u.result.status)),
                                                 u.result.ok() ? "1" : "0",
                                                 std::to_string(u.attempts),
                                                 seconds_text(u.seconds, 3),
                                                 std::to_string(u.line),
                                                 u.result.message,
                                                 u.written ? "1" : "0",
                                                 s != nullptr ? s->ssid : "",
                                                 s != nullptr ? masked(s->key) : "",
                                                 s != nullptr ? s->security : "",
                                                 s != nullptr ? s->endpoint : ""};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i != 0) {
                out += ',';
            }
            out += csv_field(fields[i]);
        }
        out += "\r\n";
    }
    return out;
}

} // namespace zev1::cli
