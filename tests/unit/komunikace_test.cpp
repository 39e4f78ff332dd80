// The link object against a scripted port: connection timing, dispatch, logging, the
// header echo, the device text, the send FIFO and the reports of port problems.
#include "support/fake_link_port.h"
#include "support/frame_bytes.h"
#include "support/link_stack.h"

#include <algorithm>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <vector>

namespace zev1 {
namespace {

using ::testing::ElementsAre;

struct sent_frame {
    int tick;
    std::uint8_t type;
};

class recording_transfer final : public transfer_handler {
public:
    std::vector<std::string> calls;
    std::function<void()> on_reply = [] {};
    void on_read_reply() override { reply("read"); }
    void on_write_reply() override { reply("write"); }
    void poll_step() override { calls.emplace_back("step"); }

private:
    void reply(const char* kind) {
        calls.emplace_back(kind);
        on_reply();
    }
};

class link_test : public ::testing::Test, protected link_stack {
protected:
    void SetUp() override { build_stack(port, {}, false); }
    // No test may see the link read past what the port holds.
    void TearDown() override {
        EXPECT_EQ(port.bytes.violations(), 0u);
        take_down_stack();
    }

    // One tick as the main window runs it; frames of type 9 and above are released.
    bool tick() {
        ++ticks;
        const std::size_t before = log.packets.size();
        const bool waiting = link->poll_link();
        for (std::size_t i = before; i < log.packets.size(); ++i) {
            if (!log.packets[i].received) {
                sends.push_back({ticks, log.packets[i].type()});
            }
        }
        if (waiting) {
            link->release_frame();
        }
        return waiting;
    }
    void run_until(int last_tick) {
        while (ticks < last_tick) {
            tick();
        }
    }
    // COM5 remembered and present: selected on tick 1, open on tick 2.
    void connect() {
        settings->WriteString("com", "com", "COM5");
        port.present.insert("COM5");
        run_until(2);
        ASSERT_TRUE(port.open());
        ASSERT_EQ(link->state(), komunikace::link_state::connected);
    }
    void feed(const std::vector<std::uint8_t>& frame) { port.bytes.feed(frame); }
    // Fed and given the two ticks it takes to be accepted.
    void accept(const std::vector<std::uint8_t>& frame) {
        feed(frame);
        run_until(ticks + 2);
    }

    fake_link_port port;
    int ticks = 0;
    std::vector<sent_frame> sends;
};

// --- connection timing -------------------------------------------------------------------

TEST_F(link_test, RememberedPortIsSelectedOpenedAndEchoedOnTicksOneTwoThree) {
    settings->WriteString("com", "com", "COM5");
    port.present.insert("COM5");
    tick();
    EXPECT_EQ(port.selected(), "COM5");
    EXPECT_FALSE(port.open());
    tick();
    EXPECT_TRUE(port.open());
    EXPECT_EQ(settings->ReadString("com", "com", ""), "COM5");
    EXPECT_TRUE(settings->ReadBool("com", "open", false));
    EXPECT_TRUE(sends.empty());
    tick();
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].tick, 3);
    EXPECT_EQ(sends[0].type, P_ECHO);
    EXPECT_EQ(port.bytes.sent()[0], make_frame(P_ECHO));
}

TEST_F(link_test, LongRememberedNameSurvivesItsOwnReselection) {
    // Longer than any short-string buffer: the name lives on the heap.
    const std::string name = "/tmp/zev1-ports-for-a-test/COM5";
    settings->WriteString("com", "com", name);
    port.present.insert(name);
    tick();
    EXPECT_EQ(port.selected(), name);
    tick();
    EXPECT_TRUE(port.open());
}

TEST_F(link_test, NoSettingsFileWantsOpenAndOpensAPortOnceSelected) {
    port.present.insert("COM7");
    tick();
    EXPECT_TRUE(link->want_open());
    EXPECT_FALSE(port.port_selected());
    link->select_port("COM7");
    tick();
    EXPECT_TRUE(port.open());
    EXPECT_EQ(settings->ReadString("com", "com", ""), "COM7");
}

TEST_F(link_test, SilentControllerIsClosedAndReopenedAgainAndAgain) {
    connect();
    std::vector<int> close_ticks;
    while (ticks < 220) {
        const int closes = port.closes();
        tick();
        if (port.closes() > closes) {
            close_ticks.push_back(ticks);
        }
    }
    // P_ECHO on the tick after each opening, close 49 ticks later, reopen the tick after.
    std::vector<int> echo_ticks;
    for (const auto& s : sends) {
        EXPECT_EQ(s.type, P_ECHO);
        echo_ticks.push_back(s.tick);
    }
    EXPECT_EQ(echo_ticks, (std::vector<int>{3, 54, 105, 156, 207}));
    EXPECT_EQ(close_ticks, (std::vector<int>{52, 103, 154, 205}));
    EXPECT_EQ(std::count(port.events.begin(), port.events.end(), "hold"), 4)
        << "the watchdog asks the port to keep its device";
    EXPECT_EQ(port.opens(), 5); // ticks 2, 53, 104, 155, 206
    // The "open" key is left alone by the watchdog, also when no reopen rewrites it: the
    // next start must come up connected, as the technician never disconnected.
    port.refuse_open = true;
    run_until(260); // closed in tick 256
    EXPECT_EQ(port.closes(), 5);
    EXPECT_TRUE(settings->ReadBool("com", "open", false));
}

TEST_F(link_test, KeepAliveGoesOutInTick51AfterTheLastValidFrameAndThePortClosesInTick150) {
    connect();
    tick();                       // tick 3: first P_ECHO
    accept(make_frame(P_PING_A)); // accepted in tick 5
    ASSERT_EQ(counter.shown.size(), 1u);
    const int accepted = ticks;
    EXPECT_EQ(link->reply_credit(), 2);
    sends.clear();
    run_until(accepted + 160);
    ASSERT_GE(sends.size(), 2u);
    EXPECT_EQ(sends[0].tick, accepted + 51);
    EXPECT_EQ(sends[1].tick, accepted + 101);
    EXPECT_EQ(port.closes(), 1);
    // Closed in tick accepted + 150, opened again in the next tick.
    EXPECT_EQ(std::count(port.events.begin(), port.events.end(), "open"), 2);
}

TEST_F(link_test, ControllerAnsweringEveryKeepAliveKeepsTheLinkOpen) {
    connect();
    for (int i = 0; i < 600; ++i) {
        const std::size_t before = sends.size();
        tick();
        if (sends.size() > before) {
            feed(make_frame(P_PING_A));
        }
    }
    EXPECT_EQ(port.closes(), 0);
    EXPECT_GE(sends.size(), 10u);
    for (std::size_t i = 2; i < sends.size(); ++i) {
        EXPECT_EQ(sends[i].tick - sends[i - 1].tick, 53); // answer accepted 2 ticks later + 51
    }
}

// A cable pulled in the middle of an answer: the part that came before the cut must not
// make the decoder wait for the rest of that frame on the next connection, where whole
// frames arrive at once. Only the watchdog asks the port to keep its device.
TEST_F(link_test, AFrameCutByAClosedConnectionDoesNotSwallowTheNextConnectionsFrames) {
    connect();
    const auto answer = make_frame(P_BOOTLOADER_READ_A, std::vector<std::uint8_t>(268, 0x55));
    feed({answer.begin(), answer.begin() + 145});
    run_until(ticks + 3);
    ASSERT_EQ(link->decoder_state(), frame_decoder::state::length_known);
    port.events.clear();
    while (port.opens() < 2 && ticks < 300) {
        tick(); // until the watchdog has closed the silent link and it has opened again
    }
    ASSERT_TRUE(port.open());
    EXPECT_EQ(port.events, (std::vector<std::string>{"hold", "close", "open"}));
    EXPECT_EQ(link->decoder_state(), frame_decoder::state::hunting);
    const std::size_t shown = counter.shown.size();
    accept(make_frame(P_PING_A));
    EXPECT_EQ(counter.shown.size(), shown + 1) << "the new connection's frame is taken at once";
    EXPECT_EQ(link->reply_credit(), 2);

    link->toggle_open();
    port.events.clear();
    tick();
    EXPECT_EQ(port.events, (std::vector<std::string>{"close"}));
}

TEST_F(link_test, WatchdogOffKeepsTheSilentPortOpen) {
    connect();
    link->watchdog_off();
    run_until(400);
    EXPECT_EQ(port.closes(), 0);
    // Switched on again, the silent port closes within one keep-alive period.
    link->watchdog_on();
    run_until(451);
    EXPECT_EQ(port.closes(), 1);
}

TEST_F(link_test, ClearingWantOpenClosesAndStoresOpenFalse) {
    connect();
    link->toggle_open();
    tick();
    EXPECT_FALSE(port.open());
    EXPECT_EQ(link->state(), komunikace::link_state::closed);
    EXPECT_FALSE(settings->ReadBool("com", "open", true));
    run_until(100);
    EXPECT_FALSE(port.open());
}

TEST_F(link_test, IspModeClearsTheLinesAndLeavesTheReceivedBytesAlone) {
    connect();
    link->toggle_open();
    tick();
    link->toggle_isp();
    port.events.clear();
    tick();
    EXPECT_EQ(link->state(), komunikace::link_state::isp_connected);
    EXPECT_EQ(port.events, (std::vector<std::string>{"open", "dtr-", "rts-"}));
    feed(make_frame(P_PING_A));
    run_until(ticks + 10);
    EXPECT_EQ(port.bytes.consumed(), 0u);
    EXPECT_TRUE(sends.empty());
    link->toggle_isp();
    tick();
    EXPECT_EQ(link->state(), komunikace::link_state::closed);
    EXPECT_FALSE(settings->ReadBool("com", "open", true));
}

// --- received frames ----------------------------------------------------------------------

TEST_F(link_test, EchoAnswerSetsTheDeviceTextAndKeepAlivesBecomePings) {
    connect();
    tick();
    accept(make_frame(P_ECHO_A, bytes_of(std::string_view("ABC\0", 4))));
    EXPECT_EQ(link->port_state_line(), "COM5 open  ABC");
    sends.clear();
    run_until(ticks + 60);
    ASSERT_FALSE(sends.empty());
    EXPECT_EQ(sends[0].type, P_PING);
}

TEST_F(link_test, StateLineIsTwoBlanksWithoutPortOrText) {
    EXPECT_EQ(link->port_state_line(), "  ");
}

TEST_F(link_test, DeviceTextStaysTerminatedAndBounded) {
    connect();
    // 277 data bytes without a zero: cut at 255 characters.
    accept(make_frame(P_ECHO_A, std::vector<std::uint8_t>(277, 'x')));
    EXPECT_EQ(link->device_text(), std::string(255, 'x'));
    // A shorter text without a zero does not keep the tail of the longer one.
    accept(make_frame(P_ECHO_A, bytes_of("XY")));
    EXPECT_EQ(link->device_text(), "XY");
    // An answer without data leaves the text as it was.
    accept(make_frame(P_ECHO_A));
    EXPECT_EQ(link->device_text(), "XY");
    // The text is forgotten while the link is closed.
    link->toggle_open();
    tick();
    tick();
    EXPECT_EQ(link->device_text(), "");
}

TEST_F(link_test, EveryFrameIsSentWithTheHeaderOfTheLastValidFrame) {
    connect();
    frame_header head{};
    std::iota(head.begin(), head.end(), 0xA0);
    accept(make_frame(P_PING_A, {}, head));
    EXPECT_EQ(link->header(), head);
    port.bytes.clear_sent();
    link->send_packet(P_WIFI_SETTINGS, std::vector<std::uint8_t>(256, 1));
    ASSERT_EQ(port.bytes.sent().size(), 1u);
    EXPECT_EQ(port.bytes.sent()[0],
              make_frame(P_WIFI_SETTINGS, std::vector<std::uint8_t>(256, 1), head));
    EXPECT_EQ(port.bytes.sent()[0].size(), 279u);
}

TEST_F(link_test, CounterShowsZeroFirstCountsBadChecksumsAndWraps) {
    auto bad = make_frame(P_PING_A);
    bad[10] ^= 0x55;
    feed(bad);
    feed(make_frame(P_PING_A));
    run_until(200);
    ASSERT_GE(counter.shown.size(), 2u);
    EXPECT_EQ(counter.shown[0], "0"); // the corrupted frame
    EXPECT_EQ(counter.shown[1], "1"); // the valid one
    EXPECT_EQ(
        std::count_if(log.packets.begin(), log.packets.end(), [](auto& p) { return p.received; }),
        1);
    for (int i = 0; i < 256; ++i) {
        feed(make_frame(P_PING_A));
        tick();
        tick();
    }
    ASSERT_GE(counter.shown.size(), 3u); // 258 frames: ... 254, 255, 0, 1
    EXPECT_THAT(std::vector(counter.shown.end() - 3, counter.shown.end()),
                ElementsAre("255", "0", "1"));
}

TEST_F(link_test, HighTypesAreLoggedReportedAndReleasedInTheSameTick) {
    for (std::uint8_t type : {P_RESET, P_NONE, P_WIFI_SETTINGS}) {
        feed(make_frame(type));
        EXPECT_FALSE(tick());
        EXPECT_TRUE(tick()) << int(type);
        EXPECT_EQ(port.bytes.rx_count(), 0u);
        EXPECT_EQ(log.packets.back().type(), type);
    }
    EXPECT_EQ(log.packets.size(), 3u);
}

TEST_F(link_test, FrameLeftInPlaceByTheCallerIsReleasedOnceAndNotDispatchedAgain) {
    feed(make_frame(P_RESET));
    feed(make_frame(P_PING_A));
    link->poll_link();
    EXPECT_TRUE(link->poll_link()); // not released by the caller
    EXPECT_FALSE(link->poll_link());
    EXPECT_FALSE(link->poll_link());
    ASSERT_EQ(log.packets.size(), 2u);
    EXPECT_EQ(log.packets[0].type(), P_RESET);
    EXPECT_EQ(log.packets[1].type(), P_PING_A);
    EXPECT_EQ(port.bytes.rx_count(), 0u);
}

TEST_F(link_test, BootloaderAnswersReachTheSequencerBeforeTheyAreLogged) {
    recording_transfer transfer;
    link->set_transfer(&transfer);
    std::vector<std::size_t> logged_at_call;
    transfer.on_reply = [&] { logged_at_call.push_back(log.packets.size()); };
    feed(make_frame(P_BOOTLOADER_READ_A, std::vector<std::uint8_t>(20, 7)));
    feed(make_frame(P_BOOTLOADER_WRITE_A, std::vector<std::uint8_t>(12, 0)));
    // Both are released by poll_link itself; neither is left for the caller.
    for (int t = 1; t <= 4; ++t) {
        EXPECT_FALSE(tick()) << "tick " << t;
    }
    EXPECT_EQ(transfer.calls,
              (std::vector<std::string>{"step", "read", "step", "step", "write", "step"}));
    EXPECT_EQ(logged_at_call, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(log.packets.size(), 2u);
    EXPECT_EQ(port.bytes.rx_count(), 0u);
}

TEST_F(link_test, NestedPollReturnsAtOnceAndTheFrameIsHandledOnce) {
    recording_transfer transfer;
    link->set_transfer(&transfer);
    std::vector<bool> nested_results;
    transfer.on_reply = [&] {
        nested_results.push_back(link->poll_link());
        nested_results.push_back(link->poll_link());
    };
    feed(make_frame(P_BOOTLOADER_READ_A, std::vector<std::uint8_t>(12, 0)));
    feed(make_frame(P_PING_A));
    run_until(4);
    EXPECT_EQ(nested_results, (std::vector<bool>{false, false}));
    EXPECT_EQ(std::count(transfer.calls.begin(), transfer.calls.end(), "read"), 1);
    EXPECT_EQ(std::count(transfer.calls.begin(), transfer.calls.end(), "step"), 4);
    ASSERT_EQ(log.packets.size(), 2u);
    EXPECT_EQ(port.bytes.rx_count(), 0u);
}

TEST_F(link_test, TextFrameGoesToThePacketLineAndTheTextView) {
    auto data = bytes_of(std::string_view("boiler ok\0junk", 14));
    accept(make_frame(p_text, data));
    ASSERT_EQ(log.packets.size(), 1u);
    EXPECT_EQ(log.packets[0].name, "    <p_text>");
    EXPECT_EQ(log.packets[0].text, " boiler ok");
    EXPECT_EQ(log.texts, (std::vector<std::string>{"boiler ok"}));
    // Without a zero the text ends with the data, not in the checksum.
    accept(make_frame(p_text, bytes_of("abc")));
    EXPECT_EQ(log.texts.back(), "abc");
    // Only the type byte makes a text: another frame whose header starts with a zero is not one.
    accept(make_frame(P_WIFI_SETTINGS, bytes_of("xyz")));
    EXPECT_EQ(log.packets.back().text, "");
    EXPECT_EQ(log.texts.size(), 2u);
}

TEST_F(link_test, PayloadAccessStaysInsideTheReadyFrame) {
    feed(make_frame(P_RESET, byte_run(30)));
    feed(std::vector<std::uint8_t>(50, 0xEE)); // bytes after the frame
    EXPECT_EQ(link->payload_length(), 0u);
    link->receive_step();
    link->receive_step();
    ASSERT_EQ(link->payload_length(), 30u);
    std::array<std::uint8_t, 100> out{};
    EXPECT_EQ(link->copy_payload(out, 25), 5u);
    EXPECT_EQ(out[0], 25);
    EXPECT_EQ(out[4], 29);
    EXPECT_EQ(out[5], 0);
    EXPECT_EQ(link->copy_payload(out, 30), 0u);
    EXPECT_EQ(link->copy_payload(out, 0xFFFFFFFF), 0u);
    std::array<std::uint8_t, 10> small{};
    EXPECT_EQ(link->copy_frame(small), 0u);
    std::array<std::uint8_t, 300> whole{};
    EXPECT_EQ(link->copy_frame(whole), 53u);
    link->release_frame();
    EXPECT_EQ(port.bytes.rx_count(), 50u);
}

TEST_F(link_test, FrameWithSequenceByteHasItsDataOneLater) {
    auto frame = make_frame(P_RESET, bytes_of("Zabc"));
    frame[4] |= 0x80; // now 'Z' is the sequence byte
    reseal(frame);
    feed(frame);
    link->receive_step();
    link->receive_step();
    ASSERT_EQ(link->payload_length(), 3u);
    std::array<std::uint8_t, 3> out{};
    link->copy_payload(out, 0);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abc");
    EXPECT_EQ(link->frame_type(), P_RESET);
}

// --- sending --------------------------------------------------------------------------

TEST_F(link_test, RefusedFrameIsHandedOverOnTheNextTickBeforeAnythingNewer) {
    connect();
    tick(); // P_ECHO
    port.bytes.clear_sent();
    const std::size_t logged = log.packets.size();
    port.bytes.refuse_next_send();
    EXPECT_EQ(link->send_packet(P_BOOTLOADER_READ, bytes_of("first")),
              komunikace::send_result::queued);
    EXPECT_EQ(log.packets.size(), logged); // not logged before the port takes it
    EXPECT_EQ(link->send_packet(P_BOOTLOADER_READ, bytes_of("second")),
              komunikace::send_result::sent); // the queue went first
    ASSERT_EQ(port.bytes.sent().size(), 2u);
    EXPECT_EQ(port.bytes.sent()[0], make_frame(P_BOOTLOADER_READ, bytes_of("first")));
    EXPECT_EQ(port.bytes.sent()[1], make_frame(P_BOOTLOADER_READ, bytes_of("second")));
    EXPECT_EQ(log.packets.size(), logged + 2);

    port.bytes.refuse_next_send();
    link->send_packet(P_WIFI_SETTINGS, std::vector<std::uint8_t>(256, 0));
    EXPECT_EQ(link->pending_sends(), 1u);
    tick();
    EXPECT_EQ(link->pending_sends(), 0u);
    EXPECT_EQ(port.bytes.sent().back().size(), 279u);
}

TEST_F(link_test, FrameHandedOverLaterCarriesTheHeaderOfTheNewestValidFrame) {
    connect();
    tick(); // P_ECHO
    frame_header newer{};
    newer.fill(0x5C);
    port.bytes.refuse_sends(true);
    link->send_packet(P_BOOTLOADER_READ, bytes_of("block"));
    accept(make_frame(P_PING_A, {}, newer)); // while the request still waits
    ASSERT_EQ(link->header(), newer);
    port.bytes.clear_sent();
    port.bytes.refuse_sends(false);
    tick();
    ASSERT_EQ(port.bytes.sent().size(), 1u);
    EXPECT_EQ(port.bytes.sent()[0], make_frame(P_BOOTLOADER_READ, bytes_of("block"), newer));
    ASSERT_FALSE(log.packets.empty());
    EXPECT_EQ(log.packets.back().frame, port.bytes.sent()[0]); // logged as it went out
}

TEST_F(link_test, FullSendQueueDropsTheOldestAndSaysSo) {
    connect();
    port.bytes.refuse_sends(true);
    for (std::uint8_t i = 0; i < 10; ++i) {
        link->send_packet(P_BOOTLOADER_READ, std::array<std::uint8_t, 1>{i});
    }
    EXPECT_EQ(link->pending_sends(), komunikace::send_queue_capacity);
    EXPECT_EQ(link->dropped_sends(), 2u);
    EXPECT_EQ(std::count(log.texts.begin(), log.texts.end(),
                         "frame not sent, send queue full: type 5 <P_BOOTLOADER_READ>"),
              2);
    port.bytes.refuse_sends(false);
    port.bytes.clear_sent();
    tick();
    ASSERT_GE(port.bytes.sent().size(), 8u); // and perhaps a keep-alive behind them
    EXPECT_EQ(port.bytes.sent()[0][21], 2);  // frames 0 and 1 were dropped
    EXPECT_EQ(port.bytes.sent()[7][21], 9);
}

// Every dropped frame gives a text line with its type and the reason, and the view hears
// of it: sent while no port is open, queued when the link closes the port, queued or sent
// after the connection ended by itself.
TEST_F(link_test, EveryDroppedFrameIsNamedWithItsReason) {
    struct recording_drops final : dropped_frame_view {
        std::vector<std::pair<int, drop_reason>> seen;
        void frame_dropped(std::uint8_t type, drop_reason why) override {
            seen.emplace_back(type, why);
        }
    } drops;
    link->set_dropped_frame_view(&drops);
    EXPECT_EQ(link->send_packet(P_WIFI_SETTINGS, std::vector<std::uint8_t>(256, 0)),
              komunikace::send_result::port_closed);
    EXPECT_EQ(log.texts, (std::vector<std::string>{"frame not sent, port closed: type 100 "
                                                   "<unknown>"}));
    EXPECT_TRUE(log.packets.empty());
    EXPECT_EQ(link->send_packet(1, std::vector<std::uint8_t>(1001, 0)),
              komunikace::send_result::too_long);

    connect();
    port.bytes.refuse_sends(true);
    link->send_packet(P_BOOTLOADER_READ, bytes_of("x"));
    link->toggle_open(); // the link closes the port with the frame queued
    tick();
    EXPECT_EQ(link->pending_sends(), 0u);
    EXPECT_EQ(log.texts.back(), "frame not sent, port closed: type 5 <P_BOOTLOADER_READ>");

    link->toggle_open();
    run_until(ticks + 1);
    ASSERT_TRUE(port.open());
    link->send_packet(P_WIFI_SETTINGS, std::vector<std::uint8_t>(256, 0)); // queued
    port.unplug("COM5");
    EXPECT_EQ(link->send_packet(P_PING, {}), komunikace::send_result::port_gone);
    EXPECT_EQ(link->pending_sends(), 0u);
    EXPECT_EQ(log.texts.back(), "frame not sent, port gone: type 1 <P_PING>");
    EXPECT_EQ(drops.seen, (std::vector<std::pair<int, drop_reason>>{
                              {P_WIFI_SETTINGS, drop_reason::port_closed},
                              {P_BOOTLOADER_READ, drop_reason::port_closed},
                              {P_WIFI_SETTINGS, drop_reason::port_gone},
                              {P_PING, drop_reason::port_gone}}));
    EXPECT_EQ(link->dropped_sends(), 4u);
}

// --- port problems ----------------------------------------------------------------------

TEST_F(link_test, OverrunsAndPortNotesAreReportedOnce) {
    port.overruns = 5;
    tick();
    tick();
    port.overruns = 8;
    tick();
    EXPECT_EQ(log.texts, (std::vector<std::string>{"receive buffer overrun: 5 bytes lost",
                                                   "receive buffer overrun: 3 bytes lost"}));
    log.texts.clear();
    port.notes = {"port ttyUSB0: Acme", "no permission to open ttyS0"};
    tick();
    tick();
    EXPECT_EQ(log.texts,
              (std::vector<std::string>{"port ttyUSB0: Acme", "no permission to open ttyS0"}));
}

// Pulled in the middle of an answer: the frame the cut began does not swallow the first
// frame of the connection after the replug.
TEST_F(link_test, UnpluggedPortComesBackWithoutAction) {
    connect();
    const auto answer = make_frame(P_BOOTLOADER_READ_A, std::vector<std::uint8_t>(268, 0x55));
    feed({answer.begin(), answer.begin() + 145});
    run_until(ticks + 3);
    port.unplug("COM5");
    run_until(200);
    EXPECT_FALSE(port.open());
    port.present.insert("COM5");
    run_until(260);
    EXPECT_TRUE(port.open());
    const std::size_t shown = counter.shown.size();
    accept(make_frame(P_PING_A));
    EXPECT_EQ(counter.shown.size(), shown + 1);
}

} // namespace
} // namespace zev1
