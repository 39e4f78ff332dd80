#pragma once
// The bytes received from the tool and not yet consumed: a bounded ring, so the
// simulator never reads further ahead than one buffer's worth while it is busy.
#include "serial/byte_queue.h"

#include <array>
#include <cstdint>
#include <span>

namespace zev1::sim {

class rx_buffer final : public rx_queue {
public:
    static constexpr std::uint32_t capacity = 4096; // many frames of at most 300 bytes

    std::uint32_t rx_count() const override { return count_; }
    // Out-of-range indexes read as 0 rather than touching memory outside the ring.
    std::uint8_t rx_peek(std::uint32_t i) const override {
        return i < count_ ? bytes_[(head_ + i) % capacity] : 0;
    }
    void rx_skip(std::uint32_t n) override {
        n = n < count_ ? n : count_;
        head_ = (head_ + n) % capacity;
        count_ -= n;
    }

    std::uint32_t room() const { return capacity - count_; }
    // Appends as many of bytes as fit; returns how many.
    std::uint32_t append(std::span<const std::uint8_t> bytes) {
        std::uint32_t n = 0;
        for (std::uint8_t b : bytes) {
            if (count_ == capacity) {
                break;
            }
            bytes_[(head_ + count_) % capacity] = b;
            ++count_;
            ++n;
        }
        return n;
    }
    void clear() {
        head_ = 0;
        count_ = 0;
    }

private:
    std::array<std::uint8_t, capacity> bytes_{};
    std::uint32_t head_ = 0;
    std::uint32_t count_ = 0;
};

} // namespace zev1::sim
