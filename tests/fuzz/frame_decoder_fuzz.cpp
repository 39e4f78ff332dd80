// Arbitrary bytes fed to the frame decoder in chunks. The first two input bytes choose
// the chunk size, the steps per chunk and whether ready frames are held for a step.
#include "fuzz/decoder_harness.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t chunk = 1 + (data[0] & 0x7F);
    const bool hold = (data[0] & 0x80) != 0;
    const int steps = 1 + (data[1] & 0x07);
    const std::span<const std::uint8_t> stream(data + 2, size - 2);

    zev1::fuzz::checked_decoder decoder(hold);
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        decoder.feed(stream.subspan(at, std::min(chunk, stream.size() - at)));
        for (int i = 0; i < steps; ++i) {
            decoder.step();
        }
    }
    decoder.drain();
    return 0;
}
