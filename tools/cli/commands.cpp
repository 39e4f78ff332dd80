#include "commands.h"

#include "batch_run.h"
#include "console.h"
#include "json_text.h"
#include "port_listing.h"
#include "serial/serial.h"
#include "settings/utf8.h"
#include "session.h"

#include <algorithm>
#include <array>
#include <vector>

namespace zev1::cli {
namespace {

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

exit_status report(const outcome& o, std::FILE* err) {
    if (!o.ok()) {
        std::fprintf(err, "zev1-wifi: %s\n", o.message.c_str());
    }
    return o.status;
}

exit_status print(std::FILE* out, std::FILE* err, const std::string& text) {
    if (std::fputs(text.c_str(), out) < 0 || std::fflush(out) != 0) {
        return report(outcome::fail(exit_status::failure, "cannot write the output"), err);
    }
    return exit_status::ok;
}

exit_status list_ports(bool json, std::FILE* out, std::FILE* err) {
    serial port;
    port.scan_ports();
    std::vector<listed_port> ports;
    for (std::size_t slot = 0; slot < serial::port_slots; ++slot) {
        if (!port.port_names()[slot].empty()) {
            ports.push_back({port.port_names()[slot], port.port_descriptions()[slot]});
        }
    }
    // Ports that exist but may not be opened are not listed: say why they are missing.
    if (const auto denied = port.denied_ports(); !denied.empty()) {
        std::fprintf(err, "zev1-wifi: %s\n", permission_note(denied).c_str());
    }
    return print(out, err, format_port_list(ports, json));
}

// read, write and auto: connect, read, and for write and auto send (and verify).
exit_status transfer(const cli_options& options, std::FILE* out, std::FILE* err) {
    wifi_settings wanted;
    if (options.cmd == command::write) {
        // Refuse a text that cannot fit before the port is even opened.
        wifi_settings given;
        given.ssid = options.ssid.value_or("");
        given.key = options.key.value_or("");
        given.security = security_to_send(options.security.value_or(""));
        given.endpoint = options.endpoint.value_or("");
        if (auto fits = check_fits(given); !fits.ok()) {
            return report(fits, err);
        }
        if (options.security && !options.security->empty() && !security_entry(*options.security)) {
            std::fprintf(err, "zev1-wifi: security type \"%s\" is not in the list; sent as given\n",
                         printable(given.security).c_str());
        }
    }

    progress_bar bar(err, stderr_is_terminal() && !options.verbose);
    console_log log(err, options.verbose, bar);
    session s(options.settings, log, bar);

    if (auto o = s.connect(options.port); !o.ok()) {
        return report(o, err);
    }
    wifi_session::read_outcome current;
    if (auto o = s.read_settings(options.cmd == command::automatic, current); !o.ok()) {
        return report(o, err);
    }
    if (options.cmd == command::read) {
        return print(out, err, format_settings(s.device_text(), current.settings, options.json));
    }

    wanted = current.settings;
    if (options.cmd == command::automatic) {
        wanted.endpoint = std::string(default_server_endpoint);
    } else {
        if (options.ssid) {
            wanted.ssid = *options.ssid;
        }
        if (options.key) {
            wanted.key = *options.key;
        }
        if (options.security) {
            wanted.security = security_to_send(*options.security);
        }
        if (options.endpoint) {
            wanted.endpoint = *options.endpoint;
        }
    }
    if (auto o = s.send_settings(wanted); !o.ok()) {
        return report(o, err);
    }
    if (options.verify) {
        wifi_session::read_outcome back;
        if (auto o = s.read_settings(false, back); !o.ok()) {
            return report(o, err);
        }
        const std::string differ = compare_settings(wanted, s.image_settings());
        if (!differ.empty()) {
            return report(outcome::fail(exit_status::mismatch, "verification failed: " + differ +
                                                                   " differ after the write"),
                          err);
        }
    }
    return print(out, err, format_settings(s.device_text(), wanted, options.json));
}

} // namespace

std::string printable(std::string_view text) {
    constexpr std::array<char, 16> digits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                             '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t n = utf8_sequence_length(text.substr(i));
        if (n == 0 || b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 0x0F];
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string format_settings(std::string_view id, const wifi_settings& settings, bool json) {
    if (json) {
        return settings_json(id, settings) + "\n";
    }
    return "id: " + printable(id) + "\nssid: " + printable(settings.ssid) +
           "\nkey: " + printable(settings.key) + "\nsecurity: " + printable(settings.security) +
           "\nendpoint: " + printable(settings.endpoint) + "\n";
}

std::string compare_settings(const wifi_settings& sent, const wifi_settings& read_back) {
    std::string differ;
    auto note = [&differ](bool same, std::string_view name) {
        if (!same) {
            differ += differ.empty() ? "" : ", ";
            differ += name;
        }
    };
    note(read_back.ssid == sent.ssid, "ssid");
    note(read_back.key == sent.key, "key");
    // "AUTO" goes out as an all-zero field, so it comes back empty.
    const bool auto_sent = sent.security.empty() || sent.security == wifi_security_types[0];
    note(equal_ignoring_case(read_back.security, sent.security) ||
             (auto_sent && read_back.security.empty()),
         "security");
    note(read_back.endpoint == sent.endpoint, "endpoint");
    return differ;
}

exit_status run_command(const cli_options& options, std::FILE* out, std::FILE* err) {
    switch (options.cmd) {
    case command::ports:
        return list_ports(options.json, out, err);
    case command::read:
    case command::write:
    case command::automatic:
        return transfer(options, out, err);
    case command::batch:
        return run_batch(options, out, err);
    }
    return exit_status::failure;
}

} // namespace zev1::cli
