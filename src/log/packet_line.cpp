#include "log/packet_line.h"

#include "log/local_time.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace zev1 {

namespace {

// Type bytes that "Standard OFF" hides in both directions.
constexpr std::array<std::uint8_t, 8> standard_types = {1, 2, 11, 12, 13, 18, 19, 20};

constexpr std::size_t type_offset = 4;
constexpr std::size_t dump_first_without_headers = 21; // the frame head is left out
constexpr std::size_t checksum_size = 2;               // and so is the checksum

std::string format_time(std::time_t t, const char* format) {
    const std::tm tm = local_time(t);
    std::array<char, 64> out{};
    const std::size_t n = std::strftime(out.data(), out.size(), format, &tm);
    return std::string(out.data(), n);
}

} // namespace

std::optional<std::string> compose_packet_line(std::span<const std::uint8_t> frame, bool received,
                                               const view_options& options, std::string_view name,
                                               std::string_view text) {
    if (options.standard_off && frame.size() > type_offset &&
        std::find(standard_types.begin(), standard_types.end(), frame[type_offset]) !=
            standard_types.end()) {
        return std::nullopt;
    }
    if (!received && options.receive_only) {
        return std::nullopt;
    }

    std::string line = received ? "--> " : "<-- ";

    if (options.hex) {
        // Headers on: bytes 0 .. length-1; off: bytes 21 .. length-3 (empty for a frame
        // too short to have any).
        std::span<const std::uint8_t> range = frame;
        if (!options.headers) {
            range = frame.size() > dump_first_without_headers + checksum_size
                        ? frame.subspan(dump_first_without_headers,
                                        frame.size() - dump_first_without_headers - checksum_size)
                        : std::span<const std::uint8_t>();
        }
        static constexpr char digits[] = "0123456789ABCDEF";
        line.reserve(line.size() + 3 * range.size() + name.size() + 1 + text.size());
        for (std::uint8_t b : range) {
            line.push_back(digits[b >> 4]);
            line.push_back(digits[b & 0x0F]);
            line.push_back(' ');
        }
    }

    line.append(name);
    if (options.txt) {
        line.push_back(' ');
        line.append(text);
    }
    return line;
}

clock_source system_clock_source() {
    return [] { return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()); };
}

std::string format_log_time(std::time_t t) {
    return format_time(t, "%d.%m.%Y %H:%M:%S    ");
}

std::string text_view_line(std::time_t t, std::string_view text) {
    std::string line = format_log_time(t);
    line.push_back(' ');
    line.append(text);
    return line;
}

std::string log_file_line(std::time_t t, std::string_view text) {
    std::string line = format_log_time(t);
    line.append(text);
    line.push_back('\n');
    return line;
}

std::string log_file_name(std::time_t t) {
    return format_time(t, "%Y-%m-%d-%H-%M-%S.log");
}

} // namespace zev1
