#include "link/frame.h"
#include "log/message_text.h"
#include "support/frame_bytes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <vector>

namespace zev1 {

using ::testing::Each;

TEST(FrameChecksum, IsTheComplementOfTheByteSum) {
    EXPECT_EQ(frame_checksum({}), 0xFFFF);
    const std::uint8_t bytes[] = {0x28, 0x93, 0x00, 0x17, 0x03};
    EXPECT_EQ(frame_checksum(bytes), 0xFF2A);
    std::vector<std::uint8_t> many(300, 0xFF); // sum 0x12AD4 wraps to its low 16 bits
    EXPECT_EQ(frame_checksum(many), static_cast<std::uint16_t>(0xFFFF - 300 * 0xFF));
}

TEST(BuildFrame, EchoWithAllZeroHeaderIsByteExact) {
    const auto frame = make_frame(P_ECHO);
    std::vector<std::uint8_t> expected = {0x28, 0x93, 0x00, 0x17, 0x03};
    expected.insert(expected.end(), 16, 0x00);
    expected.push_back(0xFF);
    expected.push_back(0x2A);
    EXPECT_EQ(frame, expected);
}

TEST(BuildFrame, PingWithAllZeroHeaderEndsInFF2C) {
    const auto frame = make_frame(P_PING);
    ASSERT_EQ(frame.size(), 23u);
    EXPECT_EQ(frame[4], 0x01);
    EXPECT_EQ(frame[21], 0xFF);
    EXPECT_EQ(frame[22], 0x2C);
}

TEST(BuildFrame, WifiSettingsWriteOf256BytesIs279Bytes) {
    const auto data = byte_run(256, 3, 7);
    const auto frame = make_frame(P_WIFI_SETTINGS, data);
    ASSERT_EQ(frame.size(), 279u);
    EXPECT_EQ(frame[2], 0x01);
    EXPECT_EQ(frame[3], 0x17);
    EXPECT_EQ(frame[4], 100);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), frame.begin() + 21));
    const std::uint16_t sum = frame_checksum(std::span(frame).first(277));
    EXPECT_EQ(frame[277], sum >> 8);
    EXPECT_EQ(frame[278], sum & 0xFF);
}

TEST(BuildFrame, CarriesTheStoredHeaderAndClearsBit7) {
    frame_header header{};
    std::iota(header.begin(), header.end(), 0xA0);
    const auto frame = make_frame(0x80 | P_ECHO, {0x0A, 0xFF}, header);
    ASSERT_EQ(frame.size(), 25u);
    EXPECT_EQ(frame[4], P_ECHO);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), frame.begin() + 5));
    EXPECT_EQ(frame[21], 0x0A);
    EXPECT_EQ(frame[22], 0xFF);
    EXPECT_EQ(frame_checksum(std::span(frame).first(23)), (frame[23] << 8) | frame[24]);
}

TEST(BuildFrame, RefusesATooSmallBufferWithoutWritingPastIt) {
    std::vector<std::uint8_t> storage(40, 0xEE);
    const std::uint8_t data[] = {1, 2, 3};
    // Room for 25 bytes, the frame needs 26: nothing past out is touched.
    EXPECT_EQ(build_frame(std::span(storage).first(25), P_ECHO, {}, data), 0u);
    EXPECT_THAT(std::vector(storage.begin() + 25, storage.end()), Each(0xEE));
    EXPECT_EQ(build_frame(std::span(storage).first(26), P_ECHO, {}, data), 26u);
    EXPECT_EQ(storage[26], 0xEE);
}

TEST(BuildFrame, LargestAndTooLongData) {
    std::vector<std::uint8_t> out(2048);
    std::vector<std::uint8_t> data(frame_max_data, 0x55);
    EXPECT_EQ(build_frame(out, P_ECHO, {}, data), frame_max_data + 23);
    data.push_back(0x55);
    EXPECT_EQ(build_frame(out, P_ECHO, {}, data), 0u);
}

TEST(PacketLogName, NamesWithFourLeadingBlanks) {
    std::uint8_t type = 0;
    for (const std::string name : {"p_text", "P_PING", "P_PING_A", "P_ECHO", "P_ECHO_A",
                                   "P_BOOTLOADER_READ", "P_BOOTLOADER_READ_A", "P_BOOTLOADER_WRITE",
                                   "P_BOOTLOADER_WRITE_A", "P_RESET", "P_NONE"}) {
        EXPECT_EQ(packet_log_name(type++), "    <" + name + ">");
    }
}

TEST(PacketLogName, UnnamedTypesAndBit7AreUnknown) {
    EXPECT_EQ(message_text(4), "    <unknown>");
    for (int t : {11, 12, 20, 99, 100, 127, 0x80, 0x81, 0x83, 0xFF}) {
        EXPECT_EQ(packet_log_name(static_cast<std::uint8_t>(t)), message_text(4)) << t;
    }
}

} // namespace zev1
