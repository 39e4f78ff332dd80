#pragma once
// Finds checksum-valid frames in the received byte stream, one move per call.
// Never reads a byte at or past rx_count(), whatever the length field says.
#include "serial/byte_queue.h"

#include <cstdint>

namespace zev1 {

class frame_decoder {
public:
    enum class state : std::uint8_t { hunting = 0, length_known = 1, frame_ready = 2 };

    // What one call of step() did.
    enum class move : std::uint8_t {
        none,          // nothing to do (too few bytes, or frame ready and not yet released)
        dropped,       // one byte removed from the front while hunting
        length_read,   // a plausible start and length found: now length_known
        frame_valid,   // a whole frame arrived and passed the checksum: now frame_ready
        frame_invalid, // a whole frame arrived and failed the checksum: one byte dropped
    };

    // One move over q. frame_valid and frame_invalid are the two outcomes in which a
    // whole frame of length() bytes was examined (the link counts both).
    move step(rx_queue& q);

    // Removes the ready frame's length() bytes and hunts again. Does nothing unless
    // a frame is ready, and never removes more than the frame.
    void release(rx_queue& q);

    // Forgets the frame in progress and hunts again; for a new connection, whose bytes
    // must never complete a frame begun on the one before.
    void reset() {
        state_ = state::hunting;
        length_ = 0;
    }

    state current() const { return state_; }
    bool ready() const { return state_ == state::frame_ready; }
    // L of the frame in progress (valid in length_known and frame_ready).
    std::uint32_t length() const { return length_; }

private:
    state state_ = state::hunting;
    std::uint32_t length_ = 0;
};

} // namespace zev1
