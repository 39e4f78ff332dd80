// The port object and its I/O thread against real pseudo-terminals: the test holds the
// master end, the port opens the slave by its path.
#include "pty_peer.h"
#include "serial/serial.h"
#include "support/deadline.h"
#include "support/recording_port.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <numeric>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace zev1 {
namespace {

using namespace std::chrono_literals;
using test::pattern;
using test::pty_peer;
using test::recording_port;
using test::take;
using test::wait_until;

open_failure open_on(Tserial_event& port, const pty_peer& peer) {
    return port.open_port(peer.slave_path(), 115200, 0, 8, false);
}

class SerialIo : public ::testing::Test {
protected:
    // A call that blocks fails here at once, not at CTest's limit.
    test::deadline limit{std::chrono::seconds(20)};

    void SetUp() override { ASSERT_TRUE(peer.ok()); }
    pty_peer peer;
    serial port{names()};

    static port_namespace& names() {
        static auto system = make_system_namespace();
        return *system;
    }
};

TEST_F(SerialIo, PeerBytesArriveInOrder) {
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    EXPECT_TRUE(port.running());
    auto sent = pattern(900);
    ASSERT_TRUE(peer.write(sent));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == sent.size(); }));
    EXPECT_EQ(take(port), sent);
    EXPECT_EQ(port.overrun_count(), 0u);
}

TEST_F(SerialIo, LineIsRaw115200EightBitsNoParityNoFlowControl) {
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    termios t{};
    // Termios calls on a pty master act on its slave.
    ASSERT_EQ(::tcgetattr(peer.master_fd(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    // Bytes that a cooked line would change (CR, ^C, ^S, DEL) pass untouched both ways.
    std::vector<std::uint8_t> special = {0x0D, 0x0A, 0x03, 0x13, 0x11, 0x7F, 0x04, 0x1A};
    ASSERT_TRUE(peer.write(special));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == special.size(); }));
    EXPECT_EQ(take(port), special);
    ASSERT_TRUE(port.send_bytes(special));
    EXPECT_EQ(peer.read(special.size()), special);
}

TEST_F(SerialIo, SendBytesTakesUpTo1023BytesInOneBlock) {
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    auto block = pattern(1023, 3);
    ASSERT_TRUE(port.send_bytes(block));
    EXPECT_EQ(peer.read(block.size()), block);
    ASSERT_TRUE(wait_until([&] { return !port.write_pending(); }));

    EXPECT_FALSE(port.send_bytes(pattern(1024)));
    EXPECT_FALSE(port.send_bytes({}));
    EXPECT_TRUE(peer.read(1, 200ms).empty()) << "a dropped block must not reach the line";
}

TEST_F(SerialIo, ASecondBlockWhileOneIsBeingWrittenIsDropped) {
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    auto block = pattern(1023, 9);
    // The peer reads nothing, so the pty's buffer fills and a write stays pending.
    std::size_t accepted = 0;
    while (accepted < 1000) {
        ASSERT_TRUE(port.send_bytes(block)) << "block " << accepted;
        ++accepted;
        if (!wait_until([&] { return !port.write_pending(); }, 300ms)) {
            break;
        }
    }
    ASSERT_TRUE(port.write_pending());
    EXPECT_FALSE(port.send_bytes(pattern(5))) << "a block before SE_WRITTEN is dropped";

    // Once the peer reads, the pending write completes and the next block is taken.
    std::size_t expected = accepted * block.size();
    std::vector<std::uint8_t> got;
    ASSERT_TRUE(wait_until(
        [&] {
            auto more = peer.read(expected - got.size(), 50ms);
            got.insert(got.end(), more.begin(), more.end());
            return got.size() == expected;
        },
        10s));
    ASSERT_TRUE(wait_until([&] { return !port.write_pending(); }));
    for (std::size_t i = 0; i < accepted; ++i) {
        ASSERT_TRUE(std::equal(block.begin(), block.end(), got.begin() + i * block.size()))
            << "block " << i;
    }
    auto tail = pattern(5, 1);
    EXPECT_TRUE(port.send_bytes(tail));
    EXPECT_EQ(peer.read(tail.size()), tail);
}

TEST(SerialOpen, FailureCodesStartNoThread) {
    recording_port port;
    EXPECT_EQ(port.open_port("/dev/zev1-no-such-port", 115200, 0, 8, false),
              open_failure::no_device);
    EXPECT_FALSE(port.port_valid());
    EXPECT_FALSE(port.thread_known());
    EXPECT_FALSE(port.running());
    EXPECT_EQ(port.last_open_reason(), std::generic_category().message(ENOENT));
    EXPECT_EQ(port.open_port("ttyUSB987", 115200, 0, 8, false), open_failure::no_device);
    EXPECT_EQ(port.open_port("../../dev/null", 115200, 0, 8, false), open_failure::no_device)
        << "a relative path is no port name";
    EXPECT_EQ(port.open_port("", 115200, 0, 8, false), open_failure::no_name);
    EXPECT_EQ(port.last_open_reason(), "");
    // Opens, but is no serial line: the line settings are refused.
    EXPECT_EQ(port.open_port("/dev/null", 115200, 0, 8, false), open_failure::line_settings);
    EXPECT_EQ(port.last_open_reason(), std::generic_category().message(ENOTTY));
    EXPECT_FALSE(port.port_valid());
    EXPECT_FALSE(port.thread_known());
    EXPECT_TRUE(port.codes().empty());
    EXPECT_FALSE(port.send_bytes(pattern(3))) << "nothing runs to send it";
}

TEST(SerialOpen, UnsupportedLineSettingsAreRefused) {
    pty_peer peer;
    ASSERT_TRUE(peer.ok());
    recording_port port;
    EXPECT_EQ(port.open_port(peer.slave_path(), 12345, 0, 8, false), open_failure::line_settings);
    EXPECT_EQ(port.open_port(peer.slave_path(), 115200, 3, 8, false), open_failure::line_settings);
    EXPECT_EQ(port.open_port(peer.slave_path(), 115200, 0, 9, false), open_failure::line_settings);
    EXPECT_FALSE(port.thread_known());
    // A pty always runs 8 bits without parity: settings that do not stick are refused.
    EXPECT_EQ(port.open_port(peer.slave_path(), 9600, 2, 7, false), open_failure::line_settings);
    EXPECT_EQ(port.open_port(peer.slave_path(), 9600, 0, 8, false), open_failure::none);
    termios t{};
    ASSERT_EQ(::tcgetattr(peer.master_fd(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
}

TEST_F(SerialIo, APortThisProcessHoldsIsBusyAndAbsent) {
    ASSERT_EQ(probe_port(peer.slave_path()), probe_result::present);
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    recording_port second;
    EXPECT_EQ(open_on(second, peer), open_failure::no_device);
    EXPECT_FALSE(second.thread_known());
    EXPECT_FALSE(port.port_present(peer.slave_path()));
    EXPECT_EQ(probe_port(peer.slave_path()), probe_result::absent);
    port.stop_thread();
    EXPECT_TRUE(port.port_present(peer.slave_path()));
}

// Root opens an exclusive tty anyway, so the check asks the tty itself.
TEST_F(SerialIo, AClosedPortLeavesTheTtyOpenToTheNextUser) {
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    port.stop_thread();
    ASSERT_TRUE(wait_until([&] { return port.port_present(peer.slave_path()); }));
    posix::unique_fd tty(::open(peer.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    ASSERT_TRUE(tty.valid());
    int exclusive = 1;
    ASSERT_EQ(::ioctl(tty.get(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

TEST_F(SerialIo, PeerClosingEndsTheThreadAndTheRingKeepsItsBytes) {
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    auto first = pattern(200, 40);
    ASSERT_TRUE(peer.write(first));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == first.size(); }));

    peer.close();
    ASSERT_TRUE(wait_until([&] { return !port.running(); }, 2s));
    EXPECT_TRUE(wait_until([&] { return !port.port_valid(); }));
    EXPECT_EQ(port.rx_count(), first.size());
    EXPECT_FALSE(port.send_bytes(pattern(4))) << "the connection is gone";

    pty_peer next;
    ASSERT_TRUE(next.ok());
    ASSERT_EQ(open_on(port, next), open_failure::none);
    auto second = pattern(100, 90);
    ASSERT_TRUE(next.write(second));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == first.size() + second.size(); }));
    auto all = take(port);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), all.begin()));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), all.begin() + first.size()));
}

TEST(SerialThread, HangUpNotifiesEndedOnce) {
    pty_peer peer;
    ASSERT_TRUE(peer.ok());
    recording_port port;
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    std::vector<std::uint8_t> hello = {1, 2, 3};
    ASSERT_TRUE(peer.write(hello));
    ASSERT_TRUE(wait_until([&] { return port.count_of(Tserial_event::SE_RECEIVED) == 3; }));
    peer.close();
    ASSERT_TRUE(wait_until([&] { return port.count_of(Tserial_event::SE_ENDED) == 1; }, 2s));
    auto codes = port.codes();
    EXPECT_EQ(codes.front(), Tserial_event::SE_STARTED);
    EXPECT_EQ(codes.back(), Tserial_event::SE_ENDED);
    EXPECT_FALSE(port.running());
}

TEST(SerialThread, StopThreadReturnsAtOnceOrWithinTwoSeconds) {
    recording_port port;
    auto t0 = std::chrono::steady_clock::now();
    port.stop_thread();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 50ms);

    pty_peer peer;
    ASSERT_TRUE(peer.ok());
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    t0 = std::chrono::steady_clock::now();
    port.stop_thread();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2000ms);
    EXPECT_FALSE(port.running());
    EXPECT_FALSE(port.thread_known());
    EXPECT_FALSE(port.port_valid());
    EXPECT_EQ(port.codes().back(), Tserial_event::SE_ENDED);
    // Stopping twice is harmless.
    port.stop_thread();
    EXPECT_EQ(port.count_of(Tserial_event::SE_ENDED), 1u);
}

TEST(SerialThread, AStopDuringAnEndingThreadDoesNotStopTheNextConnection) {
    pty_peer peer;
    ASSERT_TRUE(peer.ok());
    serial port;
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(open_on(port, peer), open_failure::none) << "round " << round;
        port.stop_thread();
    }
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(port.running());
    std::vector<std::uint8_t> b = {0x5A};
    ASSERT_TRUE(peer.write(b));
    EXPECT_TRUE(wait_until([&] { return port.rx_count() == 1; }));
}

TEST_F(SerialIo, AFullRingRefusesBytesAndCountsThem) {
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    auto burst = pattern(1100, 5);
    ASSERT_TRUE(peer.write(burst));
    ASSERT_TRUE(wait_until([&] { return port.overrun_count() == 1100 - 1023; }));
    EXPECT_EQ(port.rx_count(), 1023u);
    auto kept = take(port);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), burst.begin()))
        << "the oldest 1023 bytes are kept, in order";
    std::vector<std::uint8_t> more = {7, 8, 9};
    ASSERT_TRUE(peer.write(more));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == 3; }));
    EXPECT_EQ(take(port), more);
}

TEST_F(SerialIo, ModemLineControlsLeaveTheConnectionWorking) {
    port.set_dtr(); // closed port: nothing happens
    ASSERT_EQ(open_on(port, peer), open_failure::none);
    port.set_dtr();
    port.set_rts();
    port.clear_dtr();
    port.clear_rts();
    std::vector<std::uint8_t> b = {0x28, 0x93};
    ASSERT_TRUE(port.send_bytes(b));
    EXPECT_EQ(peer.read(2), b);
    EXPECT_TRUE(port.running());
}

TEST(SerialThread, LineEventWaitOnAPtyNeitherEndsNorBlocksTheConnection) {
    pty_peer peer;
    ASSERT_TRUE(peer.ok());
    recording_port port;
    ASSERT_EQ(port.open_port(peer.slave_path(), 115200, 0, 8, true), open_failure::none);
    std::vector<std::uint8_t> b = {1, 2};
    ASSERT_TRUE(peer.write(b));
    ASSERT_TRUE(wait_until([&] { return port.count_of(Tserial_event::SE_RECEIVED) == 2; }));
    EXPECT_TRUE(port.running());
    auto t0 = std::chrono::steady_clock::now();
    port.stop_thread();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);
}

} // namespace
} // namespace zev1
