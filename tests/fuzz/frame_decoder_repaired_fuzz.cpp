// The input describes a stream of frames and garbage; every frame gets its sync bytes, a
// length in 23..300 and its checksum repaired before it is fed, so the fuzzer reaches
// the states behind the checksum (accepted frames, release, frames back to back).
//
// Input: one configuration byte, then segments, each led by an operation byte.
//   configuration: bits 0-5 chunk size - 1, bit 6 clean stream, bit 7 hold ready frames
//   operation (low two bits): 0 raw garbage of (op >> 2) bytes; 1 repaired frame;
//     2 repaired frame with one byte flipped afterwards; 3 repaired frame cut short;
//     in a stream that is not clean, bit 2 set on a frame gives it a length field just
//     outside or at the edge of 23..300 (checksum repaired after that).
// A clean stream holds repaired frames only, and every one of them must be accepted,
// in order, with nothing left over.
#include "fuzz/decoder_harness.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t stream_limit = 16384;

struct reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
    bool more() const { return pos < size; }
    std::uint8_t next() { return pos < size ? data[pos++] : 0; }
};

// Length fields around the accepted range and the ends of the 16-bit field.
constexpr std::uint16_t edge_lengths[] = {0,   1,   21,     22,     23,     24,     299,    300,
                                          301, 302, 0x0117, 0x0217, 0x1700, 0x7FFF, 0xFFFF, 0x8017};

void set_length_field(std::vector<std::uint8_t>& f, std::uint16_t length) {
    f[2] = static_cast<std::uint8_t>(length >> 8);
    f[3] = static_cast<std::uint8_t>(length);
    const std::uint16_t sum = zev1::frame_checksum(std::span(f).first(f.size() - 2));
    f[f.size() - 2] = static_cast<std::uint8_t>(sum >> 8);
    f[f.size() - 1] = static_cast<std::uint8_t>(sum);
}

std::vector<std::uint8_t> repaired_frame(reader& in) {
    const std::uint32_t length = 23 + ((std::uint32_t{in.next()} << 8) | in.next()) % 278;
    std::vector<std::uint8_t> f(length);
    f[0] = zev1::frame_sync1;
    f[1] = zev1::frame_sync2;
    f[2] = static_cast<std::uint8_t>(length >> 8);
    f[3] = static_cast<std::uint8_t>(length);
    for (std::size_t i = 4; i < length - 2; ++i) {
        f[i] = in.next();
    }
    const std::uint16_t sum = zev1::frame_checksum(std::span(f).first(length - 2));
    f[length - 2] = static_cast<std::uint8_t>(sum >> 8);
    f[length - 1] = static_cast<std::uint8_t>(sum);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    reader in{data, size};
    const std::uint8_t config = in.next();
    const std::size_t chunk = 1 + (config & 0x3F);
    const bool clean = (config & 0x40) != 0;
    const bool hold = (config & 0x80) != 0;

    std::vector<std::uint8_t> stream;
    std::vector<std::vector<std::uint8_t>> frames;
    while (in.more() && stream.size() < stream_limit) {
        const std::uint8_t op = in.next();
        const int kind = clean ? 1 : (op & 3);
        if (kind == 0) {
            for (int n = op >> 2; n > 0; --n) {
                stream.push_back(in.next());
            }
            continue;
        }
        auto f = repaired_frame(in);
        bool edge = false;
        if (!clean && (op & 0x04) != 0) {
            const std::uint16_t length = edge_lengths[in.next() % std::size(edge_lengths)];
            set_length_field(f, length);
            edge = length != f.size();
        }
        if (kind == 2) {
            const std::size_t at = in.next() % f.size();
            f[at] ^= static_cast<std::uint8_t>(in.next() | 1);
        } else if (kind == 3) {
            f.resize(in.next() % f.size());
        }
        if (kind == 1 && !edge) {
            frames.push_back(f);
        }
        stream.insert(stream.end(), f.begin(), f.end());
    }

    zev1::fuzz::checked_decoder decoder(hold);
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        decoder.feed(std::span(stream).subspan(at, std::min(chunk, stream.size() - at)));
        decoder.step();
    }
    decoder.drain();

    if (clean) {
        zev1::fuzz::check(decoder.accepted() == frames, "clean stream: frames not all accepted");
        zev1::fuzz::check(decoder.left() == 0, "clean stream: bytes left over");
    }
    return 0;
}
