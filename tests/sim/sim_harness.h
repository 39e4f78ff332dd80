#pragma once
// Talks to zev1-sim (support/sim_process.h) as the tool would: frames over the
// pseudo-terminal behind its link.
#include "link/frame.h"
#include "support/sim_process.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace zev1::simtest {

using namespace std::chrono_literals;
using bytes = std::vector<std::uint8_t>;
using ms = std::chrono::milliseconds;

// The header the simulator documents as its own.
inline constexpr frame_header sim_header{0xC3, 0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                                         0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0xA5, 0x3C};
inline constexpr std::string_view sim_header_hex = "C35A0102030405060708090A0B0CA53C";

bytes make_frame(std::uint8_t type, const frame_header& header, const bytes& data = {});
bytes block_header(std::uint32_t length, std::uint32_t address, std::uint32_t status = 0);
bytes text_bytes(std::string_view text, bool zero = true);
bytes concat(bytes a, const bytes& b);
std::string hex(const bytes& b);

using test::sim_process;

// The tool's end: the link opened raw at 115200 8N1.
class client {
public:
    explicit client(const std::string& path);
    ~client();
    client(const client&) = delete;
    client& operator=(const client&) = delete;

    bool is_open() const { return fd_ >= 0; }
    void send(const bytes& b);
    // Reads until n bytes have arrived or the timeout passes.
    bytes read(std::size_t n, ms timeout = 2000ms);
    // Everything that arrives within the given time.
    bytes read_for(ms time) { return read(1 << 20, time); }
    // Reads until the read reports the peer gone (EIO or end of file), up to timeout.
    bool sees_hangup(ms timeout = 2000ms);
    void close();

private:
    int fd_ = -1;
};

} // namespace zev1::simtest
