// The browser's port object under the real link, with a scripted browser: an open that
// completes on a later turn, a close while the browser is still opening, the watchdog's
// close that keeps the browser's connection, line errors, an unplug, a flood of received
// bytes, a port that will not open, and the names of the ports.
#include "serial/web_serial.h"
#include "support/frame_bytes.h"
#include "support/link_stack.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zev1 {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class scripted_browser final : public web_port_host {
public:
    struct open_call {
        int port_id;
        int connection;
        line_format line;
    };
    std::vector<open_call> opens;
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<int> closes;
    void open(int port_id, int connection, const line_format& line) override {
        opens.push_back({port_id, connection, line});
    }
    void write(int, std::span<const std::uint8_t> block) override {
        writes.emplace_back(block.begin(), block.end());
    }
    void set_signals(int, bool, bool) override {}
    void close(int connection) override { closes.push_back(connection); }
};

class web_port_test : public ::testing::Test, protected link_stack {
protected:
    void SetUp() override { build_stack(port, "USB 2341:0043", false); }
    void TearDown() override { take_down_stack(); }
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            port.pump();
            poll();
        }
    }
    // The ports granted; in two ticks the list is built, the remembered port selected and
    // its open asked.
    void grant(std::span<const web_port_info> ports) {
        port.set_ports(ports);
        tick(2);
    }
    // The remembered port granted and opened by the browser; the link connected.
    void connect() {
        grant(controller);
        ASSERT_EQ(browser.opens.size(), 1U);
        port.opened(browser.opens.back().connection);
        tick(); // the link takes the connection
        tick(); // and sends its first echo
        ASSERT_EQ(link->state(), komunikace::link_state::connected);
        ASSERT_EQ(browser.writes.size(), 1U);
    }

    // Ticks, each block written at once, until the link's state is `until`.
    void run_until(komunikace::link_state until) {
        for (int i = 0; i < 10 * komunikace::keep_alive_period && link->state() != until; ++i) {
            port.written(browser.opens.back().connection);
            tick();
        }
        ASSERT_EQ(link->state(), until);
    }

    std::vector<web_port_info> controller{{7, 0x2341, 0x0043}};
    std::vector<web_port_info> two_ports{{7, 0x2341, 0x0043}, {8, 0x0403, 0x6001}};
    scripted_browser browser;
    web_serial port{browser};
};

TEST_F(web_port_test, RememberedPortOpensOnceAndTheLinkTakesItOnTheTickAfterTheBrowser) {
    grant(controller);
    ASSERT_EQ(browser.opens.size(), 1U);
    EXPECT_EQ(browser.opens[0].port_id, 7);
    tick(5); // the browser is still opening: not asked again, not shown open
    EXPECT_EQ(browser.opens.size(), 1U);
    EXPECT_EQ(link->state(), komunikace::link_state::closed);
    EXPECT_EQ(port.state_text(), "USB 2341:0043 close");

    port.opened(browser.opens[0].connection);
    tick();
    // Taken, not toggled closed again: connected, and the first echo goes to the writer.
    EXPECT_EQ(link->state(), komunikace::link_state::connected);
    EXPECT_EQ(port.state_text(), "USB 2341:0043 open");
    EXPECT_TRUE(browser.closes.empty());
    tick();
    ASSERT_EQ(browser.writes.size(), 1U);
    EXPECT_EQ(browser.writes[0][4], P_ECHO);
}

// The browser opens at the link's baud rate, whatever it is, in the link's line format.
TEST_F(web_port_test, OpensAtTheLinksBaudRate) {
    link->select_port("USB 2341:0043", 9600);
    grant(controller);
    ASSERT_EQ(browser.opens.size(), 1U);
    EXPECT_EQ(browser.opens[0].line.baud, 9600U);
}

TEST_F(web_port_test, AnOpenThatCompletesAfterAnotherPortWasChosenIsClosedAgain) {
    grant(two_ports);
    ASSERT_EQ(browser.opens.size(), 1U);
    link->select_port("USB 0403:6001");
    port.opened(browser.opens[0].connection); // too late
    ASSERT_FALSE(browser.closes.empty());
    EXPECT_EQ(browser.closes.back(), browser.opens[0].connection);
    EXPECT_FALSE(port.is_open());
    tick();
    ASSERT_EQ(browser.opens.size(), 2U);
    EXPECT_EQ(browser.opens[1].port_id, 8);
}

// The open of a port given up for another completes while the other is being opened: it
// is closed, and the chosen port's open is still the one the link takes.
TEST_F(web_port_test, AStaleOpenIsClosedWhileTheChosenPortsOpenIsStillTaken) {
    grant(two_ports);
    link->select_port("USB 0403:6001");
    tick();
    ASSERT_EQ(browser.opens.size(), 2U);
    const std::size_t closed = browser.closes.size();
    port.opened(browser.opens[0].connection);
    ASSERT_EQ(browser.closes.size(), closed + 1);
    EXPECT_EQ(browser.closes.back(), browser.opens[0].connection);
    tick();
    EXPECT_FALSE(port.is_open());
    port.opened(browser.opens[1].connection);
    tick();
    EXPECT_EQ(link->state(), komunikace::link_state::connected);
    EXPECT_EQ(port.state_text(), "USB 0403:6001 open");
    EXPECT_EQ(std::count(browser.closes.begin(), browser.closes.end(), browser.opens[1].connection),
              0);
}

// The watchdog closes a silent link: the browser's connection is kept, the link reads it
// as closed, what comes meanwhile is dropped, and the reopen opens nothing and starts
// with an echo, as after a real open. Unplugged while held, it is closed and opened
// afresh once back.
TEST_F(web_port_test, TheWatchdogsCloseKeepsTheBrowsersConnection) {
    connect();
    const int first = browser.opens.back().connection;
    port.written(first);
    port.received(first, make_frame(P_ECHO_A, bytes_of("ZEV1-SIM")));
    tick(2);
    EXPECT_EQ(port.rx_count(), 0U);
    run_until(komunikace::link_state::closed);
    EXPECT_TRUE(port.holding());
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(port.state_text(), "USB 2341:0043 close");
    port.received(first, make_frame(P_PING_A));
    EXPECT_EQ(port.rx_count(), 0U) << "nothing is taken in while the link is closed";

    const std::size_t written = browser.writes.size();
    port.written(first);
    tick();
    EXPECT_EQ(link->state(), komunikace::link_state::connected);
    tick();
    ASSERT_EQ(browser.writes.size(), written + 1);
    EXPECT_EQ(browser.writes.back()[4], P_ECHO);
    EXPECT_EQ(browser.opens.size(), 1U);
    EXPECT_TRUE(browser.closes.empty());

    run_until(komunikace::link_state::closed);
    port.connection_ended(first); // disconnect event while held
    EXPECT_EQ(browser.closes, std::vector<int>{first});
    tick();
    ASSERT_EQ(browser.opens.size(), 2U);
}

// Line errors cost only the bytes they garbled: the connection goes on and each kind is
// said once; a lost device ends it as an unplug does.
TEST_F(web_port_test, LineErrorsKeepTheConnectionALostDeviceEndsIt) {
    connect();
    log.texts.clear();
    const int c = browser.opens.back().connection;
    EXPECT_TRUE(port.read_failed(c, "BreakError"));
    EXPECT_TRUE(port.read_failed(c, "BreakError"));
    EXPECT_TRUE(port.read_failed(c, "ParityError"));
    EXPECT_TRUE(port.write_failed(c, "UnknownError"));
    EXPECT_FALSE(port.write_pending());
    tick();
    EXPECT_EQ(log.texts, (std::vector<std::string>{
                             "USB 2341:0043: break on the line (BreakError)",
                             "USB 2341:0043: parity error on the line (ParityError)",
                             "USB 2341:0043: a block could not be written (UnknownError)"}));
    port.received(c, std::vector<std::uint8_t>{1, 2});
    EXPECT_EQ(port.rx_count(), 2U);
    EXPECT_TRUE(port.is_open());
    EXPECT_TRUE(browser.closes.empty());

    EXPECT_FALSE(port.read_failed(c, "NetworkError"));
    EXPECT_TRUE(port.port_gone());
    EXPECT_EQ(browser.closes, std::vector<int>{c});
}

TEST_F(web_port_test, UnplugEndsTheConnectionAsAHangUpAndTheReplugOpensItAgain) {
    connect();
    const int first = browser.opens.back().connection;
    port.received(first, std::vector<std::uint8_t>{0x55, 0xAA, 0x01}); // an answer cut short
    port.connection_ended(first);                                      // disconnect event
    port.set_ports({});
    EXPECT_TRUE(port.port_gone());
    EXPECT_EQ(link->send_packet(P_PING, {}), komunikace::send_result::port_gone);

    // The watchdog closes the silent link; the port is not there to open.
    tick(3 * komunikace::keep_alive_period);
    EXPECT_EQ(link->state(), komunikace::link_state::closed);
    EXPECT_FALSE(port.port_gone());
    EXPECT_EQ(browser.opens.size(), 1U);

    port.set_ports(controller); // connect event: granted again
    tick();
    ASSERT_EQ(browser.opens.size(), 2U);
    EXPECT_NE(browser.opens[1].connection, first);
    port.opened(browser.opens[1].connection);
    EXPECT_EQ(port.rx_count(), 0U);                           // the new connection starts empty
    port.received(first, std::vector<std::uint8_t>{1, 2, 3}); // a late chunk of the old one
    EXPECT_EQ(port.rx_count(), 0U);
}

TEST_F(web_port_test, BytesBeyondTheRingWaitForRoomInsteadOfBeingLost) {
    connect();
    const auto chunk = byte_run(3000, 0, 7);
    port.received(browser.opens.back().connection, chunk);
    std::vector<std::uint8_t> got;
    while (got.size() < chunk.size()) {
        const std::uint32_t n = port.rx_count();
        ASSERT_GT(n, 0U);
        for (std::uint32_t i = 0; i < n; ++i) {
            got.push_back(port.rx_get());
        }
        port.pump();
    }
    EXPECT_EQ(got, chunk);
    EXPECT_EQ(port.overrun_count(), 0U);
}

TEST_F(web_port_test, OneBlockInFlightUntilTheWriterIsDone) {
    connect();
    const std::vector<std::uint8_t> block{1, 2, 3};
    EXPECT_FALSE(port.send_bytes(block)); // the first echo is still being written
    port.written(browser.opens.back().connection);
    EXPECT_TRUE(port.send_bytes(block));
    EXPECT_FALSE(port.send_bytes(std::vector<std::uint8_t>(web_serial::write_block_size)));
}

TEST_F(web_port_test, APortThatWillNotOpenIsSaidOnceAndTriedAgainHalfASecondLater) {
    grant(controller);
    port.open_failed(browser.opens.back().connection, web_open_failure::busy, "Failed to open");
    ASSERT_TRUE(port.problem());
    EXPECT_EQ(port.problem()->why, web_open_failure::busy);
    tick(web_serial::open_retry_ticks);
    EXPECT_EQ(browser.opens.size(), 1U);
    tick();
    ASSERT_EQ(browser.opens.size(), 2U);
    port.open_failed(browser.opens.back().connection, web_open_failure::busy, "Failed to open");
    tick();
    EXPECT_THAT(log.texts, Contains(HasSubstr("in use by another program")).Times(1));

    port.opened(browser.opens.back().connection); // stale: that open had failed
    EXPECT_FALSE(port.problem() == std::nullopt);
}

TEST(web_port_names, NamedByUsbIdsWithACountForTwinsAndByNumberWithout) {
    scripted_browser browser;
    web_serial port(browser);
    port.set_ports(std::vector<web_port_info>{
        {1, 0x2341, 0x43}, {2, -1, -1}, {3, 0x2341, 0x43}, {4, 0x1a86, 0x7523}});
    EXPECT_EQ(port.port_names(), (std::vector<std::string>{"USB 2341:0043", "serial port 1",
                                                           "USB 2341:0043 #2", "USB 1a86:7523"}));

    // Chosen by name: when a port before it goes, the refilled box shows it one place up.
    struct box final : port_list_view {
        std::vector<std::string> items;
        int index = -1;
        void clear_items() override { items.clear(); }
        void append_item(std::string_view name) override { items.emplace_back(name); }
        void set_item_index(int i) override { index = i; }
    } view;
    port.fill_port_list(view);
    EXPECT_TRUE(view.items.empty()) << "the box is filled after the first scan";
    port.scan_ports();
    port.select_port("USB 1a86:7523");
    port.fill_port_list(view);
    EXPECT_EQ(view.index, 3);
    port.set_ports(std::vector<web_port_info>{{2, -1, -1}, {4, 0x1a86, 0x7523}});
    port.fill_port_list(view);
    EXPECT_EQ(view.items, (std::vector<std::string>{"serial port 1", "USB 1a86:7523"}));
    EXPECT_EQ(view.index, 1);
}

} // namespace
} // namespace zev1
