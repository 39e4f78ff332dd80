#pragma once
// The receive ring: 1024 slots, at most 1023 unread bytes (head == tail means empty).
// One producer (the I/O thread, put) and one consumer (the GUI thread, everything
// else). Head is written only by the producer, tail only by the consumer; the producer
// stores the byte before it publishes the advanced head (release), the consumer loads
// head (acquire) before it reads the bytes head covers, and symmetrically for tail, so
// no lock is needed.
#include <array>
#include <atomic>
#include <cstdint>

namespace zev1 {

class rx_ring {
public:
    static constexpr std::uint32_t size = 1024;
    static constexpr std::uint32_t capacity = size - 1;

    rx_ring() = default;
    // Starts with the given indexes (both below `size`); lets tests place the ring
    // anywhere, in particular across the wrap.
    rx_ring(std::uint32_t head, std::uint32_t tail) : head_(head % size), tail_(tail % size) {}
    rx_ring(const rx_ring&) = delete;
    rx_ring& operator=(const rx_ring&) = delete;

    // --- consumer side ---------------------------------------------------------------

    std::uint32_t count() const {
        return distance(head_.load(std::memory_order_acquire),
                        tail_.load(std::memory_order_relaxed));
    }
    // Byte i places after the oldest unread one; 0 when i is not below count().
    std::uint8_t peek(std::uint32_t i) const {
        std::uint32_t tail = tail_.load(std::memory_order_relaxed);
        if (i >= distance(head_.load(std::memory_order_acquire), tail)) {
            return 0;
        }
        return data_[wrap(tail + i)];
    }
    // Takes the oldest unread byte; 0 (and nothing taken) when the ring is empty.
    std::uint8_t get() {
        std::uint32_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire)) {
            return 0;
        }
        std::uint8_t b = data_[tail];
        tail_.store(wrap(tail + 1), std::memory_order_release);
        return b;
    }
    // Discards n bytes, at most as many as are unread: tail never passes head.
    void skip(std::uint32_t n) {
        std::uint32_t tail = tail_.load(std::memory_order_relaxed);
        std::uint32_t unread = distance(head_.load(std::memory_order_acquire), tail);
        if (n > unread) {
            n = unread;
        }
        tail_.store(wrap(tail + n), std::memory_order_release);
    }

    // --- producer side ---------------------------------------------------------------

    // Stores one byte. A full ring (1023 unread) refuses it and counts an overrun, so
    // head never catches up with tail and no unread byte is overwritten.
    bool put(std::uint8_t b) {
        std::uint32_t head = head_.load(std::memory_order_relaxed);
        std::uint32_t next = wrap(head + 1);
        if (next == tail_.load(std::memory_order_acquire)) {
            overruns_.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        data_[head] = b;
        head_.store(next, std::memory_order_release);
        return true;
    }

    // Bytes refused because the ring was full.
    std::uint64_t overruns() const { return overruns_.load(std::memory_order_relaxed); }

private:
    static constexpr std::uint32_t wrap(std::uint32_t i) { return i >= size ? i - size : i; }
    static constexpr std::uint32_t distance(std::uint32_t head, std::uint32_t tail) {
        return head >= tail ? head - tail : head + size - tail;
    }

    std::atomic<std::uint32_t> head_{0};
    std::atomic<std::uint32_t> tail_{0};
    std::array<std::uint8_t, size> data_{};
    std::atomic<std::uint64_t> overruns_{0};
};

} // namespace zev1
