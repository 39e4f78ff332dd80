#pragma once
// The JSON that zev1-wifi prints, one document a line, written by nlohmann/json.
// The controller's texts are bytes in the system's 8-bit code page: valid UTF-8 passes
// as it is, and a byte that is not part of a valid UTF-8 sequence becomes the code point
// of the same number (as Latin-1 reads it). A document holding such a byte is written in
// ASCII, so the byte shows as \u00XX; the output is always valid JSON and valid UTF-8.
#include "memory/wifi_settings.h"
#include "port_listing.h"
#include "settings/utf8.h"

#include <string>
#include <string_view>
#include <vector>

namespace zev1::cli {

// id, ssid, key, security, endpoint as one object, without a newline.
std::string settings_json(std::string_view id, const wifi_settings& settings);

// The ports as one array of objects, without a newline: name, description (the one-line
// text), manufacturer, product, vid, pid, serial and location, empty where unknown.
std::string ports_json(const std::vector<listed_port>& ports);

// One text as a quoted JSON string, by the same rule.
std::string json_string(std::string_view text);

} // namespace zev1::cli
