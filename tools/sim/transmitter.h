#pragma once
// The simulator's transmit line: queued blocks go out in order, paced as a UART at the
// given baud rate would deliver them (10 bits a byte, each byte handed over once its
// stop bit has passed), written in chunks of about a millisecond at absolute deadlines.
#include "json_line.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace zev1::sim {

using sim_clock = std::chrono::steady_clock;

// Where the transmitter's bytes go: the pseudo-terminal master or the COM port.
class tx_sink {
public:
    enum class outcome {
        written, // count bytes were taken (at least one)
        full,    // nothing taken now; try again once the port can take more
        failed,  // the port is gone
    };
    struct result {
        outcome what = outcome::failed;
        std::size_t count = 0;
    };
    virtual result write(std::span<const std::uint8_t> bytes) = 0;

protected:
    ~tx_sink() = default;
};

struct tx_item {
    std::vector<std::uint8_t> bytes;
    std::optional<json_line> line; // printed when the first byte goes out
    sim_clock::time_point not_before{};
    // Printed once the last byte has been handed to the port (a cut answer's event).
    std::optional<json_line> end_line{};
    // Sending stops after this item: pump returns halted and the rest of the queue waits
    // (an unplug follows a cut).
    bool halt_after = false;
};

class transmitter {
public:
    explicit transmitter(std::uint32_t baud);

    void push(tx_item item) { queue_.push_back(std::move(item)); }
    bool idle() const { return queue_.empty(); }
    // The last write found the port full; wait until it is writable.
    bool blocked() const { return blocked_; }

    enum class status { ok, failed, halted };
    // Writes every byte that is due by now to sink. failed: the write failed for another
    // reason than a full port (the peer is gone); halted: an item with halt_after has just
    // gone out whole.
    status pump(tx_sink& sink, sim_clock::time_point now);

    // When the next bytes fall due; empty when nothing is queued or while blocked.
    std::optional<sim_clock::time_point> next_due() const;

    // Empties the queue (nobody is listening); returns the items that were not sent.
    std::deque<tx_item> discard();

private:
    sim_clock::duration time_for(std::uint64_t bytes) const;
    std::uint64_t bytes_by(sim_clock::duration elapsed) const;

    std::uint32_t baud_;
    std::uint64_t chunk_; // bytes a wake-up releases, about one millisecond's worth
    std::deque<tx_item> queue_;
    bool started_ = false;              // the head item has begun
    std::size_t written_ = 0;           // of the head item
    sim_clock::time_point start_{};     // when the head item's first bit went out
    sim_clock::time_point line_free_{}; // when the line finished the last item
    bool blocked_ = false;
};

} // namespace zev1::sim
