#include "memory/line_buffer.h"
#include "support/frame_bytes.h"
#include "support/memory_port.h"
#include "support/recording_views.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zev1 {
namespace {

// What logging the line writes; it never gives a packet line.
std::vector<std::string> logged(const Tline_buffer& line) {
    recording_log log;
    line.log_line(log);
    EXPECT_TRUE(log.packets.empty());
    return log.texts;
}

struct LineBuffer : ::testing::Test {
    memory_port port;
    Tline_buffer line;
};

} // namespace

TEST_F(LineBuffer, StartsAndClearsEmpty) {
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

TEST_F(LineBuffer, SendLineTransmitsTheTextAndOneCarriageReturn) {
    line.send_line(port, "Synchronized");
    ASSERT_EQ(port.sent().size(), 1u);
    EXPECT_EQ(port.sent()[0], bytes_of("Synchronized\r"));
    EXPECT_EQ(line.length(), 13u);
    EXPECT_EQ(line.text(), "Synchronized\r");
}

TEST_F(LineBuffer, SendLineStopsAtTheFirstNul) {
    line.send_line(port, std::string_view("J\0junk", 6));
    ASSERT_EQ(port.sent().size(), 1u);
    EXPECT_EQ(port.sent()[0], bytes_of("J\r"));
}

TEST_F(LineBuffer, SendLineStartsFromAClearBuffer) {
    line.put('x');
    line.put('\n');
    line.send_line(port, "?");
    EXPECT_EQ(port.sent().back(), bytes_of("?\r"));
    EXPECT_FALSE(line.complete());
}

TEST_F(LineBuffer, ReceiveLineLeavesBytesAfterTheLineFeed) {
    port.feed("OK\nX");
    EXPECT_TRUE(line.receive_line(port));
    EXPECT_TRUE(line.complete());
    EXPECT_EQ(line.text(), "OK\n");
    EXPECT_EQ(port.pending(), bytes_of("X"));
    // Once complete, further calls take nothing until clear.
    EXPECT_TRUE(line.receive_line(port));
    EXPECT_EQ(port.rx_count(), 1u);
    line.clear();
    EXPECT_FALSE(line.receive_line(port));
    EXPECT_EQ(line.text(), "X");
    EXPECT_EQ(port.rx_count(), 0u);
}

TEST_F(LineBuffer, PartialLineGrowsOnTheNextCall) {
    EXPECT_FALSE(line.receive_line(port)); // nothing waiting
    port.feed("Synchro");
    EXPECT_FALSE(line.receive_line(port));
    EXPECT_EQ(line.text(), "Synchro");
    port.feed("nized\r\n");
    EXPECT_TRUE(line.receive_line(port));
    EXPECT_EQ(line.text(), "Synchronized\r\n");
    EXPECT_EQ(port.violations(), 0u);
}

TEST_F(LineBuffer, LogLineDropsTheLastCharacterAndKeepsTheCarriageReturn) {
    port.feed("Synchronized\r\n");
    ASSERT_TRUE(line.receive_line(port));
    EXPECT_EQ(logged(line), std::vector<std::string>{"Synchronized\r"});
    EXPECT_EQ(line.text(), "Synchronized\r\n"); // unchanged
}

TEST_F(LineBuffer, LogLineOfNothingLogsNothingAndOfOneCharacterTheEmptyText) {
    EXPECT_TRUE(logged(line).empty());
    line.put('\n');
    EXPECT_EQ(logged(line), std::vector<std::string>{""});
}

TEST_F(LineBuffer, PutOnAFullBufferDropsTheCharacter) {
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

TEST_F(LineBuffer, OverlongReceivedLineIsCutButStillEnds) {
    port.feed(std::string(5000, 'z') + "\nnext");
    EXPECT_TRUE(line.receive_line(port));
    EXPECT_EQ(line.length(), 4097u);
    EXPECT_EQ(line.text(), std::string(4097, 'z'));
    EXPECT_EQ(port.pending(), bytes_of("next"));
    // The line feed found no room, so nothing held is a line feed: all of it is logged.
    EXPECT_EQ(logged(line), std::vector<std::string>{std::string(4097, 'z')});
}

TEST_F(LineBuffer, LoggedLineEndsAtAZeroByte) {
    port.feed(std::string("OK\0junk\r\n", 9));
    ASSERT_TRUE(line.receive_line(port));
    EXPECT_EQ(line.length(), 9u);
    EXPECT_EQ(logged(line), std::vector<std::string>{"OK"});
}

} // namespace zev1
