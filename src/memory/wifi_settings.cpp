#include "memory/wifi_settings.h"

#include "memory/flash.h"
#include "settings/utf8.h"

#include <algorithm>

namespace zev1 {

namespace {

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return ascii_lower(x) == ascii_lower(y);
           });
}

bool is_continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Copies text into the field (at most field.size() - 1 bytes, then a zero byte, the rest of
// the field untouched). Records a cut under name when the text did not fit.
void put_field(std::span<std::uint8_t> field, std::string_view text, std::string_view name,
               std::vector<wifi_cut>& cuts) {
    if (text.empty()) {
        return;
    }
    const std::size_t limit = field.size() - 1;
    const std::size_t n = text.size() > limit ? fitting_length(text, limit) : text.size();
    if (n < text.size()) {
        cuts.push_back({name, limit});
    }
    std::transform(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), field.begin(),
                   [](char c) { return static_cast<std::uint8_t>(c); });
    field[n] = 0;
}

} // namespace

wifi_settings read_wifi_settings(const memory_image& image) {
    return {image.read_text(wifi_security_address, wifi_security_limit),
            image.read_text(wifi_ssid_address, wifi_ssid_limit),
            image.read_text(wifi_key_address, wifi_key_limit),
            image.read_text(wifi_endpoint_address, wifi_endpoint_limit)};
}

std::optional<std::size_t> security_entry(std::string_view text) {
    for (std::size_t i = 0; i < wifi_security_types.size(); ++i) {
        if (equal_ignoring_case(text, wifi_security_types[i])) {
            return i;
        }
    }
    return std::nullopt;
}

std::size_t wifi_security_index(std::string_view text) {
    return security_entry(text).value_or(0);
}

std::string security_to_send(std::string_view text) {
    const auto entry = security_entry(text);
    return std::string(entry ? wifi_security_types[*entry] : text);
}

std::size_t fitting_length(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    if (!valid_utf8(text)) {
        return limit;
    }
    std::size_t n = limit;
    while (n > 0 && is_continuation(static_cast<unsigned char>(text[n]))) {
        --n;
    }
    return n;
}

wifi_body build_wifi_body(const wifi_settings& settings) {
    wifi_body body;
    const std::span<std::uint8_t> bytes(body.bytes);
    if (settings.security != "AUTO") {
        put_field(bytes.subspan(wifi_security_offset, wifi_security_field), settings.security,
                  "security type", body.cuts);
    }
    put_field(bytes.subspan(wifi_ssid_offset, wifi_ssid_field), settings.ssid, "SSID", body.cuts);
    put_field(bytes.subspan(wifi_key_offset, wifi_key_field), settings.key, "password", body.cuts);
    put_field(bytes.subspan(wifi_endpoint_offset, wifi_endpoint_field), settings.endpoint,
              "endpoint", body.cuts);
    return body;
}

void wifi_workflow::start_read(bool automatic) {
    flash_.start_read(Tsegment::single(wifi_block_start, wifi_block_length), false);
    read_requested_ = true;
    automatic_ = automatic;
}

std::optional<wifi_workflow::read_result> wifi_workflow::after_poll() {
    if (!read_requested_ || flash_.is_busy()) {
        return std::nullopt;
    }
    read_requested_ = false;
    read_result result;
    result.settings = read_wifi_settings(flash_.image());
    result.security_index = wifi_security_index(result.settings.security);
    result.settings.security = std::string(wifi_security_types[result.security_index]);
    result.automatic = automatic_;
    return result;
}

} // namespace zev1
