#include "link/frame.h"
#include "link/frame_decoder.h"
#include "support/memory_port.h"

#include <gtest/gtest.h>
#include <vector>

namespace zev1 {
namespace {

using move = frame_decoder::move;
using state = frame_decoder::state;

std::vector<std::uint8_t> make_frame(std::uint8_t type, std::vector<std::uint8_t> data,
                                     std::uint8_t header_fill = 0) {
    frame_header header;
    header.fill(header_fill);
    std::vector<std::uint8_t> out(frame_buffer_size);
    out.resize(build_frame(out, type, header, data));
    return out;
}

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
    const std::uint16_t sum = frame_checksum(std::span(f).first(total - 2));
    f[total - 2] = static_cast<std::uint8_t>(sum >> 8);
    f[total - 1] = static_cast<std::uint8_t>(sum);
    return f;
}

struct FrameDecoder : ::testing::Test {
    memory_port port;
    frame_decoder decoder;

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
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.step(port), move::frame_valid);
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

TEST_F(FrameDecoder, LengthField22IsRejectedWithOneByteDropped) {
    port.feed(raw_frame(22, P_ECHO, 23));
    EXPECT_EQ(decoder.step(port), move::dropped);
    EXPECT_EQ(decoder.current(), state::hunting);
    EXPECT_EQ(port.rx_count(), 22u);
    EXPECT_EQ(port.pending().front(), 0x93); // the search goes on at the next byte
}

TEST_F(FrameDecoder, LengthField301IsRejectedWithOneByteDropped) {
    port.feed(raw_frame(301, P_ECHO, 301));
    EXPECT_EQ(decoder.step(port), move::dropped);
    EXPECT_EQ(decoder.current(), state::hunting);
    EXPECT_EQ(port.rx_count(), 300u);
    EXPECT_EQ(decoder.step(port), move::dropped); // 0x93 is no start
    EXPECT_EQ(port.rx_count(), 299u);
}

TEST_F(FrameDecoder, LengthFieldsAtTheLimitsAreAccepted) {
    port.feed(raw_frame(23, P_ECHO, 23));
    port.feed(raw_frame(300, P_ECHO, 300));
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.step(port), move::frame_valid);
    decoder.release(port);
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.length(), 300u);
    EXPECT_EQ(decoder.step(port), move::frame_valid);
    decoder.release(port);
    EXPECT_EQ(port.rx_count(), 0u);
}

TEST_F(FrameDecoder, HugeLengthFieldIsRejected) {
    port.feed(raw_frame(0xFFFF, P_ECHO, 40));
    EXPECT_EQ(decoder.step(port), move::dropped);
    EXPECT_EQ(port.rx_count(), 39u);
}

TEST_F(FrameDecoder, StrayByteBeforeAValidFrame) {
    port.feed({0x28}); // even a first sync byte on its own is a stray byte
    port.feed(make_frame(P_PING_A, {}));
    EXPECT_EQ(decoder.step(port), move::dropped);
    EXPECT_EQ(port.rx_count(), 23u);
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.step(port), move::frame_valid);
}

TEST_F(FrameDecoder, CorruptedDataByteCostsOneByteThenTheRestIsSkippedByteByByte) {
    auto frame = make_frame(P_ECHO_A, {1, 2, 3, 4, 5, 6, 7});
    ASSERT_EQ(frame.size(), 30u);
    frame[24] ^= 0x40;
    port.feed(frame);
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.step(port), move::frame_invalid);
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
    const auto good = make_frame(P_PING_A, {}, 0x5A);
    port.feed(bad);
    port.feed(good);
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.step(port), move::frame_invalid);
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
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(decoder.step(port), move::none);
    }
    EXPECT_EQ(port.peeks(), 0u);
    EXPECT_EQ(port.rx_count(), 22u);
    port.feed_byte(frame[22]);
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.step(port), move::frame_valid);
}

TEST_F(FrameDecoder, EmptyQueueIsNeverExamined) {
    EXPECT_EQ(decoder.step(port), move::none);
    EXPECT_EQ(port.peeks(), 0u);
}

TEST_F(FrameDecoder, ALongFrameWaitsUntilItHasArrivedAndNeverReadsAhead) {
    std::vector<std::uint8_t> data(256);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i);
    }
    const auto frame = make_frame(P_WIFI_SETTINGS, data);
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
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(decoder.step(port), move::none);
    }
    EXPECT_LE(port.peek_extent(), 30u);
    EXPECT_EQ(port.rx_count(), 30u);
}

TEST_F(FrameDecoder, FrameWithBit7HasASequenceByte) {
    // Type byte 0x83, header, sequence byte 0x42, then 5 data bytes: L = 5 + 24.
    std::vector<std::uint8_t> f = {0x28, 0x93, 0x00, 29, 0x83};
    for (int i = 0; i < 16; ++i) {
        f.push_back(static_cast<std::uint8_t>(0xC0 + i));
    }
    f.push_back(0x42);
    for (std::uint8_t b : {'H', 'e', 'l', 'l', 'o'}) {
        f.push_back(b);
    }
    const std::uint16_t sum = frame_checksum(f);
    f.push_back(static_cast<std::uint8_t>(sum >> 8));
    f.push_back(static_cast<std::uint8_t>(sum));
    ASSERT_EQ(f.size(), 29u);
    port.feed(f);
    EXPECT_EQ(decoder.step(port), move::length_read);
    EXPECT_EQ(decoder.step(port), move::frame_valid);
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
