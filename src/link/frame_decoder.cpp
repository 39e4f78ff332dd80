#include "link/frame_decoder.h"

#include "link/frame.h"

namespace zev1 {

namespace {

// Checksum of the first n waiting bytes, read in place (nothing is copied out).
std::uint16_t checksum_in_place(const rx_queue& q, std::uint32_t n) {
    std::uint16_t value = 0xFFFF;
    for (std::uint32_t i = 0; i < n; ++i) {
        value = static_cast<std::uint16_t>(value - q.rx_peek(i));
    }
    return value;
}

} // namespace

frame_decoder::move frame_decoder::step(rx_queue& q) {
    const std::uint32_t count = q.rx_count();
    switch (state_) {
    case state::hunting: {
        // Fewer than the smallest frame are never examined.
        if (count < frame_min_length) {
            return move::none;
        }
        if (q.rx_peek(0) == frame_sync1 && q.rx_peek(1) == frame_sync2) {
            const std::uint32_t length =
                (static_cast<std::uint32_t>(q.rx_peek(frame_length_offset)) << 8) |
                q.rx_peek(frame_length_offset + 1);
            if (length >= frame_min_length && length <= frame_max_length) {
                length_ = length;
                state_ = state::length_known;
                return move::length_read;
            }
        }
        // A false start or an impossible length costs one byte.
        q.rx_skip(1);
        return move::dropped;
    }
    case state::length_known: {
        // Wait, without a time limit, until the whole frame is there.
        if (count < length_) {
            return move::none;
        }
        const std::uint16_t expected = checksum_in_place(q, length_ - 2);
        const std::uint16_t carried = static_cast<std::uint16_t>(
            (static_cast<std::uint16_t>(q.rx_peek(length_ - 2)) << 8) | q.rx_peek(length_ - 1));
        if (expected == carried) {
            state_ = state::frame_ready;
            return move::frame_valid;
        }
        // A wrong checksum costs one byte; the rest is looked at again byte by byte.
        q.rx_skip(1);
        state_ = state::hunting;
        return move::frame_invalid;
    }
    case state::frame_ready:
        break;
    }
    return move::none;
}

void frame_decoder::release(rx_queue& q) {
    if (state_ != state::frame_ready) {
        return;
    }
    const std::uint32_t count = q.rx_count();
    q.rx_skip(length_ <= count ? length_ : count);
    state_ = state::hunting;
}

} // namespace zev1
