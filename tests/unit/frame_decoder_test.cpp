#include "link/frame.h"
#include "link/frame_decoder.h"
#include "support/frame_bytes.h"
#include "support/memory_port.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <vector>

namespace zev1 {
namespace {

using move = frame_decoder::move;
using state = frame_decoder::state;
using ::testing::Each;
using ::testing::ElementsAre;

// A frame laid out by hand: any length field, optional sequence byte, correct checksum
// over whatever bytes are there.
std::vector<std::uint8_t> raw_frame(std::uint16_t length_field, std::uint8_t type_byte,
                                    std::size_t total) {
    std::vector<std::uint8_t> f(total, 0x11);
    f[0] = 0x28;
    f[1] = 0x93;
    f[2] = static_cast<std::uint8_t>(length_field >> 8);
    f[3] = static_cast<std::uint8_t>(length_field);
    f[4] = type_byte;
    reseal(f);
    return f;
}

struct FrameDecoder : ::testing::Test {
    memory_port port;
    frame_decoder decoder;

    // What the next n steps do.
    std::vector<move> steps(int n) {
        std::vector<move> out;
        for (int i = 0; i < n; ++i) {
            out.push_back(decoder.step(port));
        }
        return out;
    }
    void TearDown() override {
        EXPECT_EQ(port.violations(), 0u)
            << (port.violations() ? port.violation_log().front() : std::string());
    }
};

} // namespace

TEST_F(FrameDecoder, ValidFrameIsReadyAfterTwoMoves) {
    port.feed(make_frame(P_ECHO_A, {'a', 'b', 'c'}));
    EXPECT_EQ(decoder.current(), state::hunting);
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.current(), state::length_known);
    EXPECT_EQ(decoder.length(), 26u);
    EXPECT_EQ(decoder.step(port), move::frame_valid);
    EXPECT_TRUE(decoder.ready());
    EXPECT_EQ(port.rx_count(), 26u); // the frame stays in the queue until released
}

TEST_F(FrameDecoder, ReadyFrameStaysUntilReleased) {
    port.feed(make_frame(P_PING_A, {}));
    port.feed(make_frame(P_PING_A, {}));
    decoder.step(port);
    ASSERT_EQ(decoder.step(port), move::frame_valid);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(decoder.step(port), move::none);
        EXPECT_TRUE(decoder.ready());
        EXPECT_EQ(port.rx_count(), 46u);
    }
    decoder.release(port);
    EXPECT_EQ(decoder.current(), state::hunting);
    EXPECT_EQ(port.rx_count(), 23u); // exactly the frame, not the one behind it
    EXPECT_THAT(steps(2), ElementsAre(move::length_read, move::frame_valid));
    decoder.release(port);
    EXPECT_EQ(port.rx_count(), 0u);
}

TEST_F(FrameDecoder, ReleaseDoesNothingUnlessAFrameIsReady) {
    port.feed(make_frame(P_PING_A, {}));
    decoder.release(port);
    EXPECT_EQ(port.rx_count(), 23u);
    decoder.step(port); // length known
    decoder.release(port);
    EXPECT_EQ(port.rx_count(), 23u);
    EXPECT_EQ(decoder.current(), state::length_known);
}

// Too short, too long, huge: one byte dropped, and the search goes on at the next byte,
// which is no start either (examined only while 23 bytes are there).
TEST(FrameDecoderLengthField, OutsideTheLimitsIsRejectedWithOneByteDropped) {
    for (const auto& [field, total] :
         {std::pair<std::uint16_t, std::uint32_t>{22, 23}, {301, 301}, {0xFFFF, 40}}) {
        SCOPED_TRACE(field);
        memory_port port;
        frame_decoder decoder;
        port.feed(raw_frame(field, P_ECHO, total));
        EXPECT_EQ(decoder.step(port), move::dropped);
        EXPECT_EQ(decoder.current(), state::hunting);
        EXPECT_EQ(port.rx_count(), total - 1);
        EXPECT_EQ(port.pending().front(), 0x93);
        EXPECT_EQ(decoder.step(port), total > 23 ? move::dropped : move::none);
        EXPECT_EQ(port.rx_count(), total > 23 ? total - 2 : total - 1);
        EXPECT_EQ(port.violations(), 0u);
    }
}

TEST_F(FrameDecoder, LengthFieldsAtTheLimitsAreAccepted) {
    port.feed(raw_frame(23, P_ECHO, 23));
    port.feed(raw_frame(300, P_ECHO, 300));
    EXPECT_THAT(steps(2), ElementsAre(move::length_read, move::frame_valid));
    decoder.release(port);
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.length(), 300u);
    EXPECT_EQ(decoder.step(port), move::frame_valid);
    decoder.release(port);
    EXPECT_EQ(port.rx_count(), 0u);
}

TEST_F(FrameDecoder, StrayByteBeforeAValidFrame) {
    port.feed({0x28}); // even a first sync byte on its own is a stray byte
    port.feed(make_frame(P_PING_A, {}));
    EXPECT_EQ(decoder.step(port), move::dropped);
    EXPECT_EQ(port.rx_count(), 23u);
    EXPECT_THAT(steps(2), ElementsAre(move::length_read, move::frame_valid));
}

TEST_F(FrameDecoder, CorruptedDataByteCostsOneByteThenTheRestIsSkippedByteByByte) {
    auto frame = make_frame(P_ECHO_A, {1, 2, 3, 4, 5, 6, 7});
    ASSERT_EQ(frame.size(), 30u);
    frame[24] ^= 0x40;
    port.feed(frame);
    EXPECT_THAT(steps(2), ElementsAre(move::length_read, move::frame_invalid));
    EXPECT_EQ(decoder.current(), state::hunting);
    EXPECT_EQ(port.rx_count(), 29u);
    for (std::uint32_t left = 28; left >= 22; --left) {
        EXPECT_EQ(decoder.step(port), move::dropped);
        EXPECT_EQ(port.rx_count(), left);
    }
    // 22 bytes left: never examined again until more arrive.
    EXPECT_EQ(decoder.step(port), move::none);
    EXPECT_EQ(port.rx_count(), 22u);
}

TEST_F(FrameDecoder, CorruptedFrameFollowedByAGoodOneResynchronises) {
    auto bad = make_frame(P_ECHO_A, {9, 9, 9});
    bad[22] ^= 0x01;
    const auto good = raw_frame(23, P_PING_A, 23); // its header is not zero
    port.feed(bad);
    port.feed(good);
    EXPECT_THAT(steps(2), ElementsAre(move::length_read, move::frame_invalid));
    int dropped = 0;
    move m;
    while ((m = decoder.step(port)) == move::dropped) {
        ++dropped;
    }
    EXPECT_EQ(dropped, 25); // the other 25 bytes of the bad frame, one per call
    EXPECT_EQ(m, move::length_read);
    EXPECT_EQ(decoder.step(port), move::frame_valid);
    EXPECT_EQ(port.pending(), good);
}

TEST_F(FrameDecoder, WrongChecksumByteOrderIsInvalid) {
    auto frame = make_frame(P_ECHO, {});
    std::swap(frame[21], frame[22]); // FF 2A sent as 2A FF
    port.feed(frame);
    decoder.step(port);
    EXPECT_EQ(decoder.step(port), move::frame_invalid);
}

TEST_F(FrameDecoder, FewerThan23BytesAreNeverExamined) {
    const auto frame = make_frame(P_ECHO_A, {}); // 23 bytes beginning 28 93 00 17
    port.feed(std::span(frame).first(22));
    EXPECT_THAT(steps(5), Each(move::none));
    EXPECT_EQ(port.peeks(), 0u);
    EXPECT_EQ(port.rx_count(), 22u);
    port.feed_byte(frame[22]);
    EXPECT_THAT(steps(2), ElementsAre(move::length_read, move::frame_valid));
}

TEST_F(FrameDecoder, EmptyQueueIsNeverExamined) {
    EXPECT_EQ(decoder.step(port), move::none);
    EXPECT_EQ(port.peeks(), 0u);
}

TEST_F(FrameDecoder, ALongFrameWaitsUntilItHasArrivedAndNeverReadsAhead) {
    const auto frame = make_frame(P_WIFI_SETTINGS, byte_run(256));
    ASSERT_EQ(frame.size(), 279u);
    std::size_t fed = 23;
    port.feed(std::span(frame).first(fed));
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.length(), 279u);
    while (fed < frame.size()) {
        EXPECT_EQ(decoder.step(port), move::none);
        EXPECT_EQ(decoder.current(), state::length_known);
        EXPECT_LE(port.peek_extent(), port.rx_count());
        const std::size_t chunk = std::min<std::size_t>(17, frame.size() - fed);
        port.feed(std::span(frame).subspan(fed, chunk));
        fed += chunk;
    }
    EXPECT_EQ(decoder.step(port), move::frame_valid);
    EXPECT_EQ(port.peek_extent(), 279u);
}

TEST_F(FrameDecoder, LengthFieldBeyondWhatArrivedNeverReadsPastTheCount) {
    // A plausible start claiming 300 bytes, followed by only 30 bytes in all.
    auto start = raw_frame(300, P_ECHO, 30);
    port.feed(start);
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_THAT(steps(100), Each(move::none));
    EXPECT_LE(port.peek_extent(), 30u);
    EXPECT_EQ(port.rx_count(), 30u);
}

TEST_F(FrameDecoder, FrameWithBit7HasASequenceByte) {
    // Type byte 0x83, header, sequence byte 0x42, then 5 data bytes: L = 5 + 24.
    auto f = raw_frame(29, 0x83, 29);
    f[21] = 0x42;
    std::copy_n("Hello", 5, f.begin() + 22);
    reseal(f);
    port.feed(f);
    EXPECT_THAT(steps(2), ElementsAre(move::length_read, move::frame_valid));
    EXPECT_EQ(decoder.length(), 29u);
    EXPECT_EQ(frame_data_start(f[4]), 22u);
    EXPECT_EQ(frame_data_length(decoder.length(), f[4]), 29u - 24u);
    EXPECT_EQ(f[frame_data_start(f[4])], 'H');
    EXPECT_EQ(packet_log_name(f[4]), "    <unknown>");
}

TEST(FrameDataLayout, WithoutSequenceByte) {
    EXPECT_EQ(frame_data_start(P_ECHO_A), 21u);
    EXPECT_EQ(frame_data_length(23, P_ECHO_A), 0u);
    EXPECT_EQ(frame_data_length(300, P_ECHO_A), 277u);
    EXPECT_EQ(frame_data_length(300, 0x80 | P_ECHO_A), 276u);
    EXPECT_EQ(frame_data_length(23, 0x80), 0u); // too short for the sequence byte: no data
}

} // namespace zev1
