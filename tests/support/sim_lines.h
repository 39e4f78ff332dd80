#pragma once
// The simulator's JSON lines as the tests read them: one field of a line, the hex dump of
// a frame, and the frames a list of lines reports.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zev1::test {

// The value of "key" in one JSON line: a number or a string, as text (no unescaping).
inline std::optional<std::string> json_field(std::string_view line, std::string_view key) {
    std::string pattern(1, '"');
    pattern.append(key).append("\":");
    const auto at = line.find(pattern);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    auto rest = line.substr(at + pattern.size());
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    return std::string(rest.substr(0, rest.find_first_of(",}")));
}

inline std::vector<std::uint8_t> from_hex(std::string_view hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(
            static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

// A frame the simulator reported ("dir":"rx" or "tx").
struct sim_frame {
    std::string dir;
    int type = -1;
    std::vector<std::uint8_t> bytes;
};

// The frames in a list of lines in one direction ("rx" or "tx"), optionally of one type.
inline std::vector<sim_frame> frames_in(const std::vector<std::string>& lines, std::string_view dir,
                                        int type = -1) {
    std::vector<sim_frame> out;
    for (const auto& l : lines) {
        if (json_field(l, "dir") != std::string(dir) || json_field(l, "garbage")) {
            continue;
        }
        sim_frame f;
        f.dir = dir;
        f.type = std::stoi(json_field(l, "type").value_or("-1"));
        if (type < 0 || f.type == type) { // only the frames asked for are decoded
            f.bytes = from_hex(json_field(l, "hex").value_or(""));
            out.push_back(std::move(f));
        }
    }
    return out;
}

} // namespace zev1::test
