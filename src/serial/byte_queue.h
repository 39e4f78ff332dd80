#pragma once
// The byte-level view of the serial port that the link, the frame decoder and the
// boot loader's line buffer read and write through. The serial port implements it; tests
// use an in-memory queue.
#include <cstdint>
#include <span>

namespace zev1 {

// Received bytes waiting to be consumed, oldest first.
class rx_queue {
public:
    // Number of unread bytes.
    virtual std::uint32_t rx_count() const = 0;
    // Byte at offset i from the oldest unread byte; i must be below rx_count().
    virtual std::uint8_t rx_peek(std::uint32_t i) const = 0;
    // Discards n bytes from the front; n must not exceed rx_count().
    virtual void rx_skip(std::uint32_t n) = 0;

protected:
    ~rx_queue() = default;
};

// A receive queue that also takes single bytes and sends blocks.
class byte_port : public rx_queue {
public:
    // Takes the oldest unread byte; only called when rx_count() > 0.
    virtual std::uint8_t rx_get() = 0;
    // Hands one block to the transmitter. Returns false when the block was dropped
    // (a previous block is still being written, 1024 bytes or more, or no data).
    virtual bool send_bytes(std::span<const std::uint8_t> bytes) = 0;

protected:
    ~byte_port() = default;
};

// What the memory transfer needs of the port beyond its bytes: the DTR and RTS lines,
// which put the controller into its boot loader.
class boot_port : public byte_port {
public:
    virtual void set_dtr() = 0;
    virtual void clear_dtr() = 0;
    virtual void set_rts() = 0;
    virtual void clear_rts() = 0;

protected:
    ~boot_port() = default;
};

} // namespace zev1
