#include "link/frame.h"
#include "log/packet_line.h"
#include "support/frame_bytes.h"

#include <chrono>
#include <ctime>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zev1 {
namespace {

std::optional<std::string> line_for(const std::vector<std::uint8_t>& frame, bool received,
                                    const view_options& options, std::string_view text = "") {
    return compose_packet_line(frame, received, options, packet_log_name(frame[4]), text);
}

std::time_t local(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

} // namespace

TEST(PacketLine, DefaultsShowAReceivedPingWithATrailingBlank) {
    const view_options defaults;
    EXPECT_TRUE(defaults.txt);
    EXPECT_TRUE(defaults.receive_only);
    EXPECT_FALSE(defaults.hex);
    EXPECT_FALSE(defaults.headers);
    EXPECT_FALSE(defaults.standard_off);
    EXPECT_EQ(line_for(make_frame(P_PING), true, defaults), "-->     <P_PING> ");
}

TEST(PacketLine, SentFramesShowOnlyWhenReceiveOnlyIsOff) {
    EXPECT_EQ(line_for(make_frame(P_PING), false, {}), std::nullopt);
    const view_options options{.receive_only = false};
    EXPECT_EQ(line_for(make_frame(P_ECHO), false, options), "<--     <P_ECHO> ");
    EXPECT_EQ(line_for(make_frame(P_ECHO), true, options), "-->     <P_ECHO> ");
}

TEST(PacketLine, HexWithoutHeadersDumpsTheDataOnly) {
    EXPECT_EQ(line_for(make_frame(P_ECHO, {0x0A, 0xFF}), true, {.hex = true}),
              "--> 0A FF     <P_ECHO> ");
    EXPECT_EQ(line_for(make_frame(P_ECHO_A, {0x00}), true, {.hex = true}),
              "--> 00     <P_ECHO_A> ");
    // Nothing for the minimum frame.
    EXPECT_EQ(line_for(make_frame(P_PING_A), true, {.hex = true}), "-->     <P_PING_A> ");
}

TEST(PacketLine, HexWithHeadersDumpsTheWholeFrame) {
    // Sync, length and type, the 16 header bytes, the checksum.
    EXPECT_EQ(line_for(make_frame(P_ECHO), true, {.hex = true, .headers = true}),
              "--> 28 93 00 17 03 "
              "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
              "FF 2A     <P_ECHO> ");
}

TEST(PacketLine, HeadersWithoutHexDumpsNothing) {
    EXPECT_EQ(line_for(make_frame(P_ECHO, {1, 2}), true, {.headers = true}), "-->     <P_ECHO> ");
}

TEST(PacketLine, TxtOffEndsRightAfterTheName) {
    const view_options options{.txt = false};
    EXPECT_EQ(line_for(make_frame(P_PING), true, options), "-->     <P_PING>");
    const auto text = make_frame(p_text, {'H', 'i', 0});
    EXPECT_EQ(line_for(text, true, options, " Hi"), "-->     <p_text>");
}

TEST(PacketLine, StandardOffHidesItsTypesInBothDirections) {
    const view_options options{.receive_only = false, .standard_off = true};
    for (std::uint8_t type : {1, 2, 11, 12, 13, 18, 19, 20}) {
        const auto frame = make_frame(type);
        EXPECT_EQ(line_for(frame, true, options), std::nullopt) << int(type);
        EXPECT_EQ(line_for(frame, false, options), std::nullopt) << int(type);
    }
    EXPECT_EQ(line_for(make_frame(P_ECHO), true, options), "-->     <P_ECHO> ");
    EXPECT_EQ(line_for(make_frame(P_WIFI_SETTINGS), false, options), "<--     <unknown> ");
    for (std::uint8_t type : {0, 3, 4, 10, 14, 17, 21, 100}) {
        EXPECT_NE(line_for(make_frame(type), true, options), std::nullopt) << int(type);
    }
}

TEST(PacketLine, StandardOffComparesTheWholeTypeByte) {
    auto frame = make_frame(P_PING);
    frame[4] = 0x81; // bit 7 set: not in the list
    EXPECT_EQ(line_for(frame, true, {.standard_off = true}), "-->     <unknown> ");
}

TEST(PacketLine, HelloTextFrame) {
    const auto frame = make_frame(p_text, {'H', 'e', 'l', 'l', 'o', 0});
    EXPECT_EQ(line_for(frame, true, {}, " Hello"), "-->     <p_text>  Hello");
}

TEST(PacketLine, LongLinesAreKeptWhole) {
    std::vector<std::uint8_t> data(277, 'x');
    data.back() = 0;
    const auto frame = make_frame(p_text, data);
    ASSERT_EQ(frame.size(), 300u);
    const std::string text = " " + std::string(276, 'x');
    const auto line = line_for(frame, true, {.hex = true, .headers = true}, text);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->size(), 4 + 3 * 300 + 12 + 1 + text.size());
    EXPECT_GT(line->size(), 1024u);
    EXPECT_EQ(line->substr(line->size() - text.size()), text);
}

TEST(PacketLine, ShortFramesAreGuarded) {
    view_options options{.hex = true, .standard_off = true};
    const std::vector<std::uint8_t> tiny = {0x28, 0x93};
    EXPECT_EQ(compose_packet_line(tiny, true, options, "    <x>", ""), "-->     <x> ");
    EXPECT_EQ(compose_packet_line({}, true, options, "    <x>", ""), "-->     <x> ");
    options.headers = true;
    EXPECT_EQ(compose_packet_line(tiny, true, options, "    <x>", ""), "--> 28 93     <x> ");
}

TEST(TextLine, TimeFormatHasFourTrailingBlanks) {
    EXPECT_EQ(format_log_time(local(2026, 12, 7, 23, 54, 24)), "07.12.2026 23:54:24    ");
    EXPECT_EQ(format_log_time(local(2027, 1, 2, 3, 4, 5)), "02.01.2027 03:04:05    ");
}

TEST(TextLine, TextViewHasFiveBlanksAndTheFileFour) {
    const std::time_t t = local(2026, 12, 7, 23, 54, 24);
    EXPECT_EQ(text_view_line(t, "Hello"), "07.12.2026 23:54:24     Hello");
    EXPECT_EQ(log_file_line(t, "Hello"), "07.12.2026 23:54:24    Hello\n");
}

TEST(TextLine, LongTextIsKeptWhole) {
    const std::time_t t = local(2026, 12, 7, 23, 54, 24);
    const std::string text(500, 'q');
    EXPECT_EQ(text_view_line(t, text), "07.12.2026 23:54:24     " + text);
    EXPECT_EQ(log_file_line(t, text), "07.12.2026 23:54:24    " + text + "\n");
}

TEST(TextLine, LogFileName) {
    EXPECT_EQ(log_file_name(local(2026, 12, 7, 23, 54, 24)), "2026-12-07-23-54-24.log");
}

TEST(TextLine, SystemClockIsNow) {
    // Compared with system_clock, as the source reads it; std::time is a coarser clock
    // that may lag it by a few milliseconds at a second's edge.
    using std::chrono::system_clock;
    const auto clock = system_clock_source();
    ASSERT_TRUE(clock);
    const std::time_t before = system_clock::to_time_t(system_clock::now());
    const std::time_t now = clock();
    const std::time_t after = system_clock::to_time_t(system_clock::now());
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
}

} // namespace zev1
