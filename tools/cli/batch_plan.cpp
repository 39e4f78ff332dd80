#include "batch_plan.h"

#include "json_text.h"
#include "settings/file_io.h"

#include <algorithm>
#include <array>

namespace zev1::cli {
namespace {

constexpr std::array<std::string_view, 8> columns = {"port",     "action",   "ssid",   "key",
                                                     "security", "endpoint", "verify", "label"};
enum column : std::size_t {
    c_port,
    c_action,
    c_ssid,
    c_key,
    c_security,
    c_endpoint,
    c_verify,
    c_label
};
constexpr std::size_t no_column = columns.size();

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

// Why a text cannot go into a field or a report line, or empty when it can.
std::string text_fault(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t n = utf8_sequence_length(text.substr(i));
        if (n == 0) {
            return "not valid UTF-8";
        }
        const auto b = static_cast<unsigned char>(text[i]);
        if (n == 1 && (b < 0x20 || b == 0x7F)) {
            return "holds a control character";
        }
        i += n;
    }
    return {};
}

struct field_limit {
    column col;
    std::size_t limit;
};
constexpr std::array<field_limit, 4> limits = {{{c_ssid, wifi_ssid_limit},
                                                {c_key, wifi_key_limit},
                                                {c_security, wifi_security_limit},
                                                {c_endpoint, wifi_endpoint_limit}}};

class plan_reader {
public:
    explicit plan_reader(const std::optional<std::string>& key_from_file)
        : key_from_file_(key_from_file) {}

    plan_result read(std::string_view text) {
        if (text.starts_with("\xEF\xBB\xBF")) {
            text.remove_prefix(3);
        }
        const csv_result csv = read_csv(text);
        if (csv.error_line != 0) {
            return fail(exit_status::usage,
                        "line " + std::to_string(csv.error_line) + ": " + csv.error);
        }
        if (csv.records.empty()) {
            return fail(exit_status::usage, "no header row");
        }
        if (auto o = read_header(csv.records.front()); !o.ok()) {
            return fail(o);
        }
        plan_result result;
        for (std::size_t r = 1; r < csv.records.size(); ++r) {
            plan_row row;
            if (auto o = read_row(csv.records[r], row); !o.ok()) {
                return fail(o);
            }
            for (const plan_row& earlier : result.rows) {
                if (earlier.port == row.port) {
                    return fail(
                        exit_status::usage,
                        "line " + std::to_string(row.line) + ", column port: " +
                            (row.port.by == port_selector::kind::rest
                                 ? std::string("a second \"*\" row")
                                 : "the port of line " + std::to_string(earlier.line) + " again"));
                }
            }
            result.rows.push_back(std::move(row));
        }
        if (result.rows.empty()) {
            return fail(exit_status::usage, "no rows after the header");
        }
        return result;
    }

private:
    static plan_result fail(const outcome& o) { return {{}, o}; }
    static plan_result fail(exit_status s, std::string text) {
        return {{}, outcome::fail(s, std::move(text))};
    }

    outcome read_header(const csv_record& header) {
        place_.fill(no_column);
        at_.clear();
        for (std::size_t i = 0; i < header.fields.size(); ++i) {
            const std::string name = lower(trimmed(header.fields[i]));
            const auto known = std::find(columns.begin(), columns.end(), name);
            const std::string where = "line " + std::to_string(header.line) + ": ";
            if (known == columns.end()) {
                return outcome::fail(exit_status::usage,
                                     where + "unknown column \"" + printable_text(name) +
                                         "\" (port, action, ssid, key, security, endpoint, "
                                         "verify, label)");
            }
            const auto col = static_cast<std::size_t>(known - columns.begin());
            if (place_[col] != no_column) {
                return outcome::fail(exit_status::usage, where + "column " + name + " twice");
            }
            place_[col] = i;
            at_.push_back(col);
        }
        if (place_[c_port] == no_column) {
            return outcome::fail(exit_status::usage,
                                 "line " + std::to_string(header.line) + ": no port column");
        }
        return outcome::success();
    }

    outcome read_row(const csv_record& record, plan_row& row) const {
        row.line = record.line;
        if (record.fields.size() > at_.size()) {
            return outcome::fail(exit_status::usage, "line " + std::to_string(record.line) + ": " +
                                                         std::to_string(record.fields.size()) +
                                                         " fields, the header has " +
                                                         std::to_string(at_.size()));
        }
        std::array<std::string, columns.size()> value;
        for (std::size_t i = 0; i < record.fields.size(); ++i) {
            value[at_[i]] = record.fields[i];
        }
        auto where = [&record](column col) {
            return "line " + std::to_string(record.line) + ", column " + std::string(columns[col]) +
                   ": ";
        };
        auto bad = [&where](column col, std::string text) {
            return outcome::fail(exit_status::usage, where(col) + text);
        };

        // Free text first, so that a broken character is named as such.
        for (column col : {c_port, c_action, c_verify, c_label}) {
            if (const std::string fault = text_fault(value[col]); !fault.empty()) {
                return bad(col, fault);
            }
        }
        for (const field_limit& f : limits) {
            if (const std::string fault = text_fault(value[f.col]); !fault.empty()) {
                return outcome::fail(exit_status::too_long, where(f.col) + fault);
            }
        }

        const std::string port = trimmed(value[c_port]);
        if (port.empty()) {
            return bad(c_port, "empty (a port name, serial=TEXT, location=TEXT or *)");
        }
        const std::string keyword = lower(port.substr(0, port.find('=') + 1));
        if (port == "*") {
            row.port = {port_selector::kind::rest, {}};
        } else if (keyword == "serial=" || keyword == "location=") {
            row.port.by =
                keyword == "serial=" ? port_selector::kind::serial : port_selector::kind::location;
            row.port.text = trimmed(std::string_view(port).substr(keyword.size()));
            if (row.port.text.empty()) {
                return bad(c_port, port + " names nothing");
            }
        } else {
            row.port = {port_selector::kind::name, port};
        }

        const std::string action = lower(trimmed(value[c_action]));
        if (action.empty() || action == "auto") {
            row.action = unit_action::automatic;
        } else if (action == "write") {
            row.action = unit_action::write;
        } else if (action == "read") {
            row.action = unit_action::read;
        } else {
            return bad(c_action, "unknown action \"" + action + "\" (auto, write or read)");
        }

        const std::string verify = trimmed(value[c_verify]);
        if (verify != "" && verify != "0" && verify != "1") {
            return bad(c_verify, "\"" + verify + "\" is neither 1 nor 0");
        }
        row.verify = row.action != unit_action::read && verify != "0";
        row.label = value[c_label];

        // The fields the action does not send must be empty: a plan that seems to set
        // them would be silently ignored otherwise.
        for (const field_limit& f : limits) {
            const bool used = row.action == unit_action::write ||
                              (row.action == unit_action::automatic && f.col == c_endpoint);
            if (!used && !value[f.col].empty()) {
                return bad(f.col, row.action == unit_action::read
                                      ? "a read row sends nothing"
                                      : "an auto row sets only the endpoint");
            }
        }
        for (const field_limit& f : limits) {
            if (value[f.col].size() > f.limit) {
                return outcome::fail(exit_status::too_long,
                                     where(f.col) +
                                         "too long: " + std::to_string(value[f.col].size()) +
                                         " bytes, at most " + std::to_string(f.limit) + " fit");
            }
        }
        const std::string& security = value[c_security];
        if (!security.empty() && !security_entry(security)) {
            return outcome::fail(exit_status::too_long,
                                 where(c_security) + "\"" + security +
                                     "\" is not a security type (AUTO OPEN WEP WPA WPAAES "
                                     "WPA2AES WPA2TKIP WPA2)");
        }
        row.fields.ssid = value[c_ssid];
        row.fields.key = value[c_key];
        row.fields.security = security.empty() ? std::string() : security_to_send(security);
        row.fields.endpoint = value[c_endpoint];
        if (row.action == unit_action::write && row.fields.key.empty() && key_from_file_) {
            row.fields.key = *key_from_file_;
        }
        return outcome::success();
    }

    static std::string printable_text(std::string_view text) {
        return text_fault(text).empty() ? std::string(text) : std::string("?");
    }

    const std::optional<std::string>& key_from_file_;
    std::array<std::size_t, columns.size()> place_{}; // column -> field index
    std::vector<std::size_t> at_;                     // field index -> column
};

} // namespace

std::string_view action_name(unit_action action) {
    switch (action) {
    case unit_action::automatic:
        return "auto";
    case unit_action::write:
        return "write";
    case unit_action::read:
        return "read";
    }
    return "auto";
}

csv_result read_csv(std::string_view text) {
    csv_result out;
    std::size_t i = 0;
    std::size_t line = 1;
    auto at_line_end = [&text, &i] {
        return i == text.size() || text[i] == '\n' ||
               (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
    };
    auto skip_line_end = [&text, &i, &line] {
        if (i < text.size()) {
            i += text[i] == '\r' ? 2 : 1;
            ++line;
        }
    };
    while (i < text.size()) {
        if (text[i] == '#') {
            while (!at_line_end()) {
                ++i;
            }
            skip_line_end();
            continue;
        }
        csv_record record;
        record.line = line;
        for (;;) {
            std::string field;
            if (i < text.size() && text[i] == '"') {
                ++i;
                for (;;) {
                    if (i == text.size()) {
                        out.error_line = record.line;
                        out.error = "a quoted field does not end";
                        return out;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    line += text[i] == '\n' ? 1 : 0;
                    field += text[i++];
                }
                if (!at_line_end() && text[i] != ',') {
                    out.error_line = line;
                    out.error = "text after the closing quote of a field";
                    return out;
                }
            } else {
                while (!at_line_end() && text[i] != ',') {
                    if (text[i] == '"') {
                        out.error_line = line;
                        out.error = "a quote inside a field that does not start with one";
                        return out;
                    }
                    field += text[i++];
                }
            }
            record.fields.push_back(std::move(field));
            if (at_line_end()) {
                skip_line_end();
                break;
            }
            ++i; // the comma
        }
        const bool blank = std::all_of(record.fields.begin(), record.fields.end(),
                                       [](const std::string& f) { return trimmed(f).empty(); });
        if (!blank) {
            out.records.push_back(std::move(record));
        }
    }
    return out;
}

outcome check_key(std::string_view key) {
    if (key.empty()) {
        return outcome::fail(exit_status::usage, "no key on its first line");
    }
    if (const std::string fault = text_fault(key); !fault.empty()) {
        return outcome::fail(exit_status::too_long, "the key " + fault);
    }
    if (key.size() > wifi_key_limit) {
        return outcome::fail(exit_status::too_long, "key too long: " + std::to_string(key.size()) +
                                                        " bytes, at most " +
                                                        std::to_string(wifi_key_limit) + " fit");
    }
    return outcome::success();
}

plan_result parse_plan(std::string_view text, const std::optional<std::string>& key_from_file) {
    return plan_reader(key_from_file).read(text);
}

plan_result read_plan(const std::filesystem::path& plan_file,
                      const std::optional<std::filesystem::path>& key_file) {
    auto read = [](const std::filesystem::path& path, std::string& text) -> outcome {
        std::vector<std::uint8_t> bytes;
        std::string reason;
        const read_status status = read_whole_file(path, bytes, reason);
        if (status != read_status::ok) {
            return outcome::fail(exit_status::usage,
                                 "cannot read " + path_text(path) + ": " +
                                     (status == read_status::missing ? "no such file" : reason));
        }
        text.assign(bytes.begin(), bytes.end());
        return outcome::success();
    };
    std::optional<std::string> key;
    if (key_file) {
        std::string text;
        if (auto o = read(*key_file, text); !o.ok()) {
            return {{}, o};
        }
        text = text.substr(0, text.find('\n'));
        if (text.ends_with('\r')) {
            text.pop_back();
        }
        if (auto o = check_key(text); !o.ok()) {
            o.message = path_text(*key_file) + ": " + o.message;
            return {{}, o};
        }
        key = std::move(text);
    }
    std::string text;
    if (auto o = read(plan_file, text); !o.ok()) {
        return {{}, o};
    }
    plan_result result = parse_plan(text, key);
    if (!result.failure.ok()) {
        result.failure.message = path_text(plan_file) + ": " + result.failure.message;
    }
    return result;
}

} // namespace zev1::cli
