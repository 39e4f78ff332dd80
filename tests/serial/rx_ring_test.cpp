// The receive ring: index arithmetic across the wrap, the full-ring rule, and one
// producer against one consumer under load.
#include "serial/rx_ring.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace zev1 {
namespace {

TEST(RxRing, CountFollowsTheIndexesAcrossTheWrap) {
    EXPECT_EQ(rx_ring(10, 1000).count(), 34u);
    EXPECT_EQ(rx_ring(1000, 10).count(), 990u);
    EXPECT_EQ(rx_ring(517, 517).count(), 0u);
    EXPECT_EQ(rx_ring(1023, 0).count(), 1023u);
}

TEST(RxRing, PeekAndGetReadTheSameBytesPastSlot1023) {
    rx_ring ring(1020, 1020);
    for (std::uint8_t b = 0; b < 8; ++b) {
        ASSERT_TRUE(ring.put(static_cast<std::uint8_t>(0xA0 + b)));
    }
    ASSERT_EQ(ring.count(), 8u);
    for (std::uint32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(ring.peek(i), 0xA0 + i) << "offset " << i;
    }
    EXPECT_EQ(ring.peek(8), 0) << "a peek past the unread bytes reads nothing";
    for (std::uint32_t i = 0; i < 8; ++i) {
        std::uint8_t front = ring.peek(0);
        EXPECT_EQ(ring.get(), front);
    }
    EXPECT_EQ(ring.count(), 0u);
}

TEST(RxRing, SkipCrossesTheWrapAndNeverPassesHead) {
    rx_ring ring(1020, 1020);
    for (std::uint8_t b = 0; b < 24; ++b) {
        ring.put(b);
    }
    ring.skip(10); // tail 1020 + 10 -> slot 6
    EXPECT_EQ(ring.count(), 14u);
    EXPECT_EQ(ring.get(), 10);

    ring.skip(500); // more than is unread: empties the ring, no further
    EXPECT_EQ(ring.count(), 0u);
    EXPECT_EQ(ring.get(), 0);
    EXPECT_EQ(ring.count(), 0u) << "a get on an empty ring must not move tail";
    ring.put(0x55);
    EXPECT_EQ(ring.count(), 1u);
    EXPECT_EQ(ring.get(), 0x55);
    ring.put(0x56);
    ring.skip(2); // one more than is unread
    EXPECT_EQ(ring.count(), 0u);
}

TEST(RxRing, AFullRingRefusesAndCountsTheOverrun) {
    rx_ring ring(700, 700);
    for (std::uint32_t i = 0; i < rx_ring::capacity; ++i) {
        ASSERT_TRUE(ring.put(static_cast<std::uint8_t>(i)));
    }
    EXPECT_FALSE(ring.put(0xEE));
    EXPECT_FALSE(ring.put(0xEF));
    EXPECT_EQ(ring.count(), 1023u);
    EXPECT_EQ(ring.overruns(), 2u);
    // The oldest byte is intact: nothing was overwritten.
    EXPECT_EQ(ring.get(), 0);
    EXPECT_TRUE(ring.put(0x42));
    EXPECT_EQ(ring.peek(1022), 0x42);
}

// One producer thread and one consumer draining with every consumer operation; order
// and content must come through whole. Run under ThreadSanitizer as well.
TEST(RxRing, ProducerAndConsumerThreadsMoveTwoMegabytesInOrder) {
    constexpr std::uint32_t total = 2u << 20;
    auto value = [](std::uint32_t i) { return static_cast<std::uint8_t>((i * 2654435761u) >> 13); };
    rx_ring ring(1000, 1000);

    std::thread producer([&] {
        for (std::uint32_t i = 0; i < total;) {
            if (ring.put(value(i))) {
                ++i;
            } else {
                std::this_thread::yield();
            }
        }
    });

    std::uint32_t next = 0;
    std::uint32_t errors = 0;
    while (next < total) {
        std::uint32_t n = ring.count();
        if (n == 0) {
            std::this_thread::yield();
            continue;
        }
        switch (next % 3) {
        case 0: // peek everything, then skip it
            for (std::uint32_t i = 0; i < n; ++i) {
                errors += ring.peek(i) != value(next + i);
            }
            ring.skip(n);
            next += n;
            break;
        case 1: // take one byte
            errors += ring.get() != value(next);
            ++next;
            break;
        default: // take half of what waits
            for (std::uint32_t i = 0; i < (n + 1) / 2; ++i) {
                errors += ring.get() != value(next++);
            }
            break;
        }
    }
    producer.join();
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(ring.count(), 0u);
}

} // namespace
} // namespace zev1
