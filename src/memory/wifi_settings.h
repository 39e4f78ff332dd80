#pragma once
// The WiFi settings workflow shared by the configurator window and the command-line
// tool: where the settings lie in the controller's memory, the security type list, the
// 256-byte body of the type-100 settings packet, and the read-then-show (and, in the
// automatic server setting, read-then-write) sequence.
//
// Texts are byte strings in the system's 8-bit code page. A text too long for its field
// in the body is cut to fit; when the text is valid UTF-8 the cut never splits a
// multi-byte character, otherwise it falls at the byte limit. The caller is told which
// fields were cut.
#include "memory/image.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

class Tflash;

// Device addresses of the four texts and the room up to the next field.
inline constexpr std::uint32_t wifi_ssid_address = 0x530B;
inline constexpr std::uint32_t wifi_key_address = 0x532C;
inline constexpr std::uint32_t wifi_security_address = 0x536D;
inline constexpr std::uint32_t wifi_endpoint_address = 0x5377;
inline constexpr std::size_t wifi_ssid_room = 33;
inline constexpr std::size_t wifi_key_room = 65;
inline constexpr std::size_t wifi_security_room = 10;
inline constexpr std::size_t wifi_endpoint_room = 147;

// The settings block read to get them.
inline constexpr std::uint32_t wifi_block_start = 0x5000;
inline constexpr std::uint32_t wifi_block_length = 0x4000;

// The server the automatic setting points the controller at (host,port).
inline constexpr std::string_view default_server_endpoint = "zev1.example,5555";

// The security type list, in the order the selector shows it; entry 0 is the fallback.
inline constexpr std::array<std::string_view, 8> wifi_security_types = {
    "AUTO", "OPEN", "WEP", "WPA", "WPAAES", "WPA2AES", "WPA2TKIP", "WPA2"};

// The type-100 body: offsets and sizes of the four fields (each zero-terminated).
inline constexpr std::uint8_t wifi_packet_type = 100;
inline constexpr std::size_t wifi_body_size = 256;
inline constexpr std::size_t wifi_security_offset = 0;
inline constexpr std::size_t wifi_security_field = 10;
inline constexpr std::size_t wifi_ssid_offset = 10;
inline constexpr std::size_t wifi_ssid_field = 34;
inline constexpr std::size_t wifi_key_offset = 44;
inline constexpr std::size_t wifi_key_field = 65;
inline constexpr std::size_t wifi_endpoint_offset = 109;
inline constexpr std::size_t wifi_endpoint_field = 147;

struct wifi_settings {
    std::string security; // the selector's text
    std::string ssid;
    std::string key;
    std::string endpoint;
};

// A field whose text was cut: its name ("security type", "SSID", "password",
// "endpoint") and the longest text in bytes it takes.
struct wifi_cut {
    std::string_view field;
    std::size_t limit = 0;
};

struct wifi_body {
    std::array<std::uint8_t, wifi_body_size> bytes{};
    std::vector<wifi_cut> cuts; // empty when every text fitted
};

// The four texts as they lie in the image, each read up to its zero byte and never past
// the longest text its field in the body takes (9, 33, 64 and 146 bytes, never more than
// its room in memory): the controller cannot have been given a longer one, and so every
// text read can be written back as it is, an erased controller's 0xFF bytes included.
// The security text is returned as found (not normalised).
wifi_settings read_wifi_settings(const memory_image& image);

// The security-type rule, the same in every front end. The entry of wifi_security_types
// that text names whole, ignoring ASCII letter case ("wpa2" names WPA2; "WPA2" names WPA2,
// never WPA2AES); none for any other text, the empty one included.
std::optional<std::size_t> security_entry(std::string_view text);

// Index of the entry text names; 0 ("AUTO") when it names none.
std::size_t wifi_security_index(std::string_view text);

// The security text that goes out for text: the entry it names as the list spells it,
// otherwise text as it is (a type the list lacks is sent as given).
std::string security_to_send(std::string_view text);

// The field limits: the longest text in bytes each field of the body takes.
inline constexpr std::size_t wifi_security_limit = wifi_security_field - 1;
inline constexpr std::size_t wifi_ssid_limit = wifi_ssid_field - 1;
inline constexpr std::size_t wifi_key_limit = wifi_key_field - 1;
inline constexpr std::size_t wifi_endpoint_limit = wifi_endpoint_field - 1;

// The longest prefix of text of at most limit bytes that does not end inside a UTF-8
// multi-byte character (when text is valid UTF-8; otherwise simply limit bytes).
std::size_t fitting_length(std::string_view text, std::size_t limit);

// The 256-byte body: security at 0 unless exactly "AUTO", SSID at 10, key at 44,
// endpoint at 109, each followed by a zero byte; empty fields stay all zero.
wifi_body build_wifi_body(const wifi_settings& settings);

// The read requested / automatic setting flags and the end-of-read step.
class wifi_workflow {
public:
    struct read_result {
        wifi_settings settings; // security normalised to its list entry
        std::size_t security_index = 0;
        bool automatic = false; // the caller now puts in the default endpoint and writes
    };

    explicit wifi_workflow(Tflash& flash) : flash_(flash) {}

    // Starts reading the settings block (0x5000, 0x4000 bytes, no line pulsing) and marks
    // the read as requested; automatic chooses the automatic server setting.
    void start_read(bool automatic);

    // Once per tick after poll_link: when a read was requested and the sequencer is idle,
    // clears the request and returns what the image holds now. Nothing otherwise.
    std::optional<read_result> after_poll();

    bool read_requested() const { return read_requested_; }
    bool automatic() const { return automatic_; }

private:
    Tflash& flash_;
    bool read_requested_ = false;
    bool automatic_ = false;
};

} // namespace zev1
