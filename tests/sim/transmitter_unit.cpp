// The simulator's transmitter against a fake port: the block-at-a-time port of Windows
// (at most 1023 bytes, one block in flight), a port that fails, and the pacing clock.
#include "transmitter.h"

#include <gtest/gtest.h>
#include <numeric>

namespace zev1::sim {
namespace {

using namespace std::chrono_literals;

// Takes one block of at most `limit` bytes, then reports full until complete() is called,
// as the COM port does while its write is in flight.
class block_sink final : public tx_sink {
public:
    std::size_t limit = 1023;
    bool in_flight = false;
    bool broken = false;
    std::vector<std::uint8_t> wire;
    int blocks = 0;

    result write(std::span<const std::uint8_t> bytes) override {
        if (broken) {
            return {outcome::failed, 0};
        }
        if (in_flight) {
            return {outcome::full, 0};
        }
        const auto n = std::min(bytes.size(), limit);
        wire.insert(wire.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        in_flight = true;
        ++blocks;
        return {outcome::written, n};
    }
    void complete() { in_flight = false; }
};

std::vector<std::uint8_t> pattern(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::iota(v.begin(), v.end(), std::uint8_t{7});
    return v;
}

TEST(SimTransmitter, BlockPortGetsEveryByteInOrderOneBlockAtATime) {
    transmitter tx(0);
    block_sink sink;
    const auto a = pattern(3000);
    const auto b = pattern(5);
    tx.push({a, std::nullopt, {}});
    tx.push({b, std::nullopt, {}});
    const auto now = sim_clock::now();
    int rounds = 0;
    while (!tx.idle() && rounds++ < 10) {
        ASSERT_EQ(tx.pump(sink, now), transmitter::status::ok);
        EXPECT_TRUE(tx.idle() || tx.blocked()) << "stopped without a full port";
        // While a block is in flight nothing is due: the loop waits for the port.
        EXPECT_FALSE(tx.next_due().has_value() && tx.blocked());
        sink.complete();
    }
    ASSERT_TRUE(tx.idle());
    std::vector<std::uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(sink.wire, expected);
    EXPECT_EQ(sink.blocks, 4); // 1023 + 1023 + 954, then the 5-byte item
}

TEST(SimTransmitter, FailedPortIsReportedAndUnsentItemsCanBeDiscarded) {
    transmitter tx(0);
    block_sink sink;
    sink.broken = true;
    tx.push({pattern(40), std::nullopt, {}});
    EXPECT_EQ(tx.pump(sink, sim_clock::now()), transmitter::status::failed);
    const auto lost = tx.discard();
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost.front().bytes.size(), 40u);
    EXPECT_TRUE(tx.idle());
}

TEST(SimTransmitter, PacedOutputReleasesOnlyTheBytesDueSoFar) {
    transmitter tx(115200); // 11520 bytes a second
    block_sink sink;
    sink.limit = 100000;
    const auto start = sim_clock::now();
    tx.push({pattern(291), std::nullopt, start});
    ASSERT_EQ(tx.pump(sink, start + 10ms), transmitter::status::ok);
    EXPECT_EQ(sink.wire.size(), 115u); // 10 ms at 10 bits a byte
    sink.complete();
    ASSERT_EQ(tx.pump(sink, start + 24ms), transmitter::status::ok);
    EXPECT_EQ(sink.wire.size(), 276u);
    EXPECT_FALSE(tx.idle()); // the last bytes are due only after 25.26 ms
    sink.complete();
    ASSERT_EQ(tx.pump(sink, start + 26ms), transmitter::status::ok);
    EXPECT_EQ(sink.wire, pattern(291));
    EXPECT_TRUE(tx.idle());
}

} // namespace
} // namespace zev1::sim
