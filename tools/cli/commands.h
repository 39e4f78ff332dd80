#pragma once
// The commands of zev1-wifi and how their results are printed.
#include "cli_options.h"
#include "exit_status.h"
#include "memory/wifi_settings.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace zev1::cli {

// Runs the command; results go to out, the traffic log and the one-line failure message
// to err. Returns the exit status.
exit_status run_command(const cli_options& options, std::FILE* out, std::FILE* err);

// id, ssid, key, security, endpoint: "name: value" lines, or one JSON object and a newline.
std::string format_settings(std::string_view id, const wifi_settings& settings, bool json);

// The text for a plain "name: value" line: control characters, and bytes that are not
// part of a valid UTF-8 sequence (a Windows code page text, an erased controller's 0xFF),
// as \xNN, so a value never breaks the line and always shows what the controller holds.
std::string printable(std::string_view text);

// The fields whose read-back differs from what was sent ("ssid", "key", ...), joined
// by ", "; empty when everything matches.
std::string compare_settings(const wifi_settings& sent, const wifi_settings& read_back);

} // namespace zev1::cli
