#include "memory/line_buffer.h"
#include "support/memory_port.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zev1 {
namespace {

struct recording_log final : traffic_log {
    std::vector<std::string> texts;
    int packets = 0;
    void add_packet_line(std::span<const std::uint8_t>, bool, std::string_view,
                         std::string_view) override {
        ++packets;
    }
    void log_text(std::string_view text) override { texts.emplace_back(text); }
};

std::vector<std::uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

} // namespace

TEST(LineBuffer, StartsAndClearsEmpty) {
    Tline_buffer line;
    EXPECT_EQ(line.length(), 0u);
    EXPECT_FALSE(line.complete());
    EXPECT_EQ(line.text(), "");
    line.put('A');
    EXPECT_EQ(line.text(), "A");
    line.clear();
    EXPECT_EQ(line.length(), 0u);
    EXPECT_FALSE(line.complete());
    EXPECT_EQ(line.text(), "");
}

TEST(LineBuffer, SendLineTransmitsTheTextAndOneCarriageReturn) {
    memory_port port;
    Tline_buffer line;
    line.send_line(port, "Synchronized");
    ASSERT_EQ(port.sent().size(), 1u);
    EXPECT_EQ(port.sent()[0], bytes("Synchronized\r"));
    EXPECT_EQ(line.length(), 13u);
    EXPECT_EQ(line.text(), "Synchronized\r");
}

TEST(LineBuffer, SendLineStopsAtTheFirstNul) {
    memory_port port;
    Tline_buffer line;
    line.send_line(port, std::string_view("J\0junk", 6));
    ASSERT_EQ(port.sent().size(), 1u);
    EXPECT_EQ(port.sent()[0], bytes("J\r"));
}

TEST(LineBuffer, SendLineStartsFromAClearBuffer) {
    memory_port port;
    Tline_buffer line;
    line.put('x');
    line.put('\n');
    line.send_line(port, "?");
    EXPECT_EQ(port.sent().back(), bytes("?\r"));
    EXPECT_FALSE(line.complete());
}

TEST(LineBuffer, ReceiveLineLeavesBytesAfterTheLineFeed) {
    memory_port port;
    port.feed("OK\nX");
    Tline_buffer line;
    EXPECT_TRUE(line.receive_line(port));
    EXPECT_TRUE(line.complete());
    EXPECT_EQ(line.text(), "OK\n");
    EXPECT_EQ(port.pending(), bytes("X"));
    // Once complete, further calls take nothing until clear.
    EXPECT_TRUE(line.receive_line(port));
    EXPECT_EQ(port.rx_count(), 1u);
    line.clear();
    EXPECT_FALSE(line.receive_line(port));
    EXPECT_EQ(line.text(), "X");
    EXPECT_EQ(port.rx_count(), 0u);
}

TEST(LineBuffer, PartialLineGrowsOnTheNextCall) {
    memory_port port;
    Tline_buffer line;
    EXPECT_FALSE(line.receive_line(port)); // nothing waiting
    port.feed("Synchro");
    EXPECT_FALSE(line.receive_line(port));
    EXPECT_EQ(line.text(), "Synchro");
    port.feed("nized\r\n");
    EXPECT_TRUE(line.receive_line(port));
    EXPECT_EQ(line.text(), "Synchronized\r\n");
    EXPECT_EQ(port.violations(), 0u);
}

TEST(LineBuffer, LogLineDropsTheLastCharacterAndKeepsTheCarriageReturn) {
    memory_port port;
    port.feed("Synchronized\r\n");
    Tline_buffer line;
    ASSERT_TRUE(line.receive_line(port));
    recording_log log;
    line.log_line(log);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Synchronized\r");
    EXPECT_EQ(line.text(), "Synchronized\r\n"); // unchanged
    EXPECT_EQ(log.packets, 0);
}

TEST(LineBuffer, LogLineOnAnEmptyBufferLogsNothing) {
    Tline_buffer line;
    recording_log log;
    line.log_line(log);
    EXPECT_TRUE(log.texts.empty());
}

TEST(LineBuffer, LogLineOfOneCharacterLogsTheEmptyText) {
    Tline_buffer line;
    line.put('\n');
    recording_log log;
    line.log_line(log);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "");
}

TEST(LineBuffer, PutOnAFullBufferDropsTheCharacter) {
    Tline_buffer line;
    for (std::size_t i = 0; i < Tline_buffer::capacity; ++i) {
        line.put(static_cast<std::uint8_t>('a' + i % 26));
    }
    ASSERT_EQ(line.length(), 4097u);
    const std::string before(line.text());
    line.put('!');
    line.put('\n');
    EXPECT_EQ(line.length(), 4097u);
    EXPECT_EQ(line.text(), before);
    EXPECT_EQ(line.text().data()[line.length()], '\0'); // still terminated
}

TEST(LineBuffer, OverlongReceivedLineIsCutButStillEnds) {
    memory_port port;
    port.feed(std::string(5000, 'z') + "\nnext");
    Tline_buffer line;
    EXPECT_TRUE(line.receive_line(port));
    EXPECT_EQ(line.length(), 4097u);
    EXPECT_EQ(line.text(), std::string(4097, 'z'));
    EXPECT_EQ(port.pending(), bytes("next"));
    // The line feed found no room, so nothing held is a line feed: all of it is logged.
    recording_log log;
    line.log_line(log);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], std::string(4097, 'z'));
}

TEST(LineBuffer, LoggedLineEndsAtAZeroByte) {
    memory_port port;
    port.feed(std::string("OK\0junk\r\n", 9));
    Tline_buffer line;
    ASSERT_TRUE(line.receive_line(port));
    EXPECT_EQ(line.length(), 9u);
    recording_log log;
    line.log_line(log);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "OK");
}

} // namespace zev1
