// Frames the simulator must refuse: reported as protocol errors, never answered.
#include "sim/sim_harness.h"

#include <gtest/gtest.h>

namespace zev1::simtest {
namespace {

// After a refused request, a ping must be answered with exactly P_PING_A: had the
// refused request been answered, its answer would come first.
void expect_only_ping_answer(client& c) {
    c.send(make_frame(P_PING, sim_header));
    const bytes ping_answer = make_frame(P_PING_A, sim_header);
    EXPECT_EQ(c.read(ping_answer.size()), ping_answer);
}

TEST(SimProtocol, MalformedBootloaderRequestsAreRefused) {
    struct bad_request {
        std::uint8_t type;
        bytes body;
        std::string reason;
    };
    const std::vector<bad_request> cases{
        {P_BOOTLOADER_READ, block_header(0, 0x5000), "length 0 outside 1..256"},
        {P_BOOTLOADER_READ, block_header(257, 0x5000), "length 257 outside 1..256"},
        {P_BOOTLOADER_READ, block_header(32, 0xFFFF0), "outside the 1 MiB memory"},
        {P_BOOTLOADER_READ, block_header(16, 0xFFFFFFF8), "outside the 1 MiB memory"},
        {P_BOOTLOADER_READ, block_header(16, 0x5000, 3), "status 3"},
        {P_BOOTLOADER_READ, bytes(11, 0), "read request of 11 bytes"},
        {P_BOOTLOADER_READ, concat(block_header(16, 0x5000), {0}), "read request of 13 bytes"},
        {P_BOOTLOADER_WRITE, concat(block_header(4, 0x5000), {1, 2, 3}), "carries 3 data bytes"},
        {P_BOOTLOADER_WRITE, bytes(5, 0), "shorter than the 12-byte block header"},
        {P_PING, {1}, "P_PING carries 1 data bytes"},
    };
    sim_process sim;
    client c(sim.link());
    for (const bad_request& r : cases) {
        SCOPED_TRACE(r.reason);
        const std::size_t from = sim.line_count();
        c.send(make_frame(r.type, sim_header, r.body));
        EXPECT_TRUE(sim.wait_line({"\"error\":\"malformed\"", r.reason}, 2000ms, from));
        expect_only_ping_answer(c);
    }
    // The refused write stored nothing.
    c.send(make_frame(P_BOOTLOADER_READ, sim_header, block_header(4, 0x5000)));
    const bytes answer = c.read(frame_overhead + 16);
    ASSERT_EQ(answer.size(), frame_overhead + 16);
    EXPECT_EQ(bytes(answer.begin() + 33, answer.begin() + 37), bytes(4, 0xFF));
}

TEST(SimProtocol, BadChecksumIsReportedAndNotAnswered) {
    sim_process sim;
    client c(sim.link());
    bytes echo = make_frame(P_ECHO, frame_header{});
    echo.back() ^= 0x01;
    c.send(echo);
    const auto line = sim.wait_line({"\"error\":\"checksum\""});
    ASSERT_TRUE(line);
    EXPECT_NE(line->find("\"hex\":\"" + hex(echo) + "\""), std::string::npos);
    EXPECT_NE(line->find("\"expected\":\"FF2A\",\"got\":\"FF2B\""), std::string::npos);
    EXPECT_NE(line->find("\"errors\":1"), std::string::npos);
    // The rest of the broken frame is skipped on the way back in step, once the next
    // frame has arrived behind it.
    expect_only_ping_answer(c);
    EXPECT_TRUE(sim.wait_line({"\"error\":\"skipped\"", "\"count\":22"}));
}

TEST(SimProtocol, ImpossibleLengthIsReportedAndSkipped) {
    sim_process sim;
    client c(sim.link());
    bytes bogus = make_frame(P_ECHO, frame_header{});
    bogus[2] = 0x01;
    bogus[3] = 0x2D; // 301
    c.send(bogus);
    EXPECT_TRUE(sim.wait_line({"\"error\":\"length\"", "\"length\":301"}));
    bogus[2] = 0x00;
    bogus[3] = 0x16; // 22
    c.send(bogus);
    EXPECT_TRUE(sim.wait_line({"\"error\":\"length\"", "\"length\":22"}));
    expect_only_ping_answer(c);
}

TEST(SimProtocol, UnknownTypesAreReportedAndNotAnswered) {
    sim_process sim;
    client c(sim.link());
    for (std::uint8_t type : {std::uint8_t{P_RESET}, std::uint8_t{P_PING_A}, std::uint8_t{55}}) {
        c.send(make_frame(type, sim_header, {1, 2, 3}));
        EXPECT_TRUE(
            sim.wait_line({"\"error\":\"unknown-type\"", "\"type\":" + std::to_string(type)}));
    }
    expect_only_ping_answer(c);
}

TEST(SimProtocol, HeaderMustEchoTheSimulatorsOnceItHasSentOne) {
    sim_process sim;
    client c(sim.link());
    // Before the simulator has sent anything, any header is fine.
    c.send(make_frame(P_PING, frame_header{}));
    ASSERT_EQ(c.read(frame_overhead).size(), frame_overhead);
    // Now it must come back.
    const std::size_t from = sim.line_count();
    c.send(make_frame(P_PING, frame_header{}));
    EXPECT_EQ(c.read(frame_overhead), make_frame(P_PING_A, sim_header)); // still answered
    const auto line = sim.wait_line({"\"error\":\"header\""}, 2000ms, from);
    ASSERT_TRUE(line);
    EXPECT_NE(line->find("\"got\":\"00000000000000000000000000000000\""), std::string::npos);
    EXPECT_NE(line->find("\"expected\":\"" + std::string(sim_header_hex) + "\""),
              std::string::npos);
    const std::size_t after = sim.line_count();
    expect_only_ping_answer(c);
    EXPECT_FALSE(sim.wait_line({"\"error\":\"header\""}, 50ms, after));
}

TEST(SimProtocol, OwnHeaderOptionIsUsed) {
    sim_process sim({"--header", "0102030405060708090A0B0C0D0E0F10"});
    client c(sim.link());
    c.send(make_frame(P_PING, frame_header{}));
    const frame_header own{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(c.read(frame_overhead), make_frame(P_PING_A, own));
}

TEST(SimProtocol, AnswerIsPacedAt115200Baud) {
    sim_process sim({"--baud", "115200"});
    client c(sim.link());
    c.send(make_frame(P_PING, frame_header{}));
    ASSERT_EQ(c.read(frame_overhead).size(), frame_overhead);
    const auto start = std::chrono::steady_clock::now();
    c.send(make_frame(P_BOOTLOADER_READ, sim_header, block_header(256, 0x5000)));
    const bytes answer = c.read(291, 2000ms);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(answer.size(), 291u);
    // 291 bytes of 10 bits at 115200 baud: 25.26 ms.
    EXPECT_GE(took, std::chrono::microseconds(25260));
    EXPECT_LT(took, 1000ms);
}

} // namespace
} // namespace zev1::simtest
