// The transfer sequencer driven through the link, with a scripted controller that answers
// bootloader requests: block cutting, progress, time-outs, Cancel, malformed replies, the
// write direction, line pulsing and the boot loader's text handshake.
#include "log/message_text.h"
#include "memory/flash.h"
#include "memory/progress_percent.h"
#include "support/fake_link_port.h"
#include "support/frame_bytes.h"
#include "support/link_stack.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zev1 {
namespace {

std::uint8_t pattern(std::uint32_t address) {
    return static_cast<std::uint8_t>(address * 7 + (address >> 8));
}

std::vector<std::uint8_t> reply_body(const block_header& head, std::size_t data_bytes) {
    const auto h = head.encode();
    std::vector<std::uint8_t> body(h.begin(), h.end());
    for (std::size_t i = 0; i < data_bytes; ++i) {
        body.push_back(pattern(head.address + static_cast<std::uint32_t>(i)));
    }
    return body;
}

struct request {
    int tick;
    std::uint8_t type;
    block_header head;
    std::vector<std::uint8_t> data; // what follows the header (write requests)
};

class flash_test : public ::testing::Test, protected link_stack {
protected:
    void SetUp() override {
        port.present.insert("COM5");
        build_stack(port, "COM5", true);
        run_ticks(2);
        EXPECT_TRUE(port.open());
    }
    void TearDown() override { take_down_stack(); }

    // One tick, then the controller looks at what was sent in it.
    void tick() {
        ++ticks;
        poll();
        answer_new_frames();
    }
    void run_ticks(int n) {
        for (int i = 0; i < n; ++i) {
            tick();
        }
    }
    // Ticks until the sequencer is idle (bounded).
    void run_to_idle(int limit = 5000) {
        for (int i = 0; i < limit && flash->is_busy(); ++i) {
            tick();
        }
        ASSERT_FALSE(flash->is_busy());
    }
    // Ticks until done() holds, at most limit ticks, so that a broken sequencer fails
    // the test instead of spinning it into the time limit; whether done() held.
    bool tick_until(const std::function<bool()>& done, int limit = 2000) {
        for (int i = 0; i < limit && !done(); ++i) {
            tick();
        }
        return done();
    }

    void answer_new_frames() {
        const auto& sent = port.bytes.sent();
        for (; answered < sent.size(); ++answered) {
            const auto& f = sent[answered];
            if (f.size() < frame_min_length) {
                continue; // the handshake's text lines and its single byte
            }
            const std::uint8_t type = f[4];
            if (type == P_ECHO || type == P_PING) {
                port.bytes.feed(make_frame(P_PING_A));
                continue;
            }
            if ((type != P_BOOTLOADER_READ && type != P_BOOTLOADER_WRITE) ||
                f.size() < frame_min_length + block_header::size) {
                continue;
            }
            std::array<std::uint8_t, block_header::size> raw{};
            std::copy_n(f.begin() + 21, raw.size(), raw.begin());
            request r{ticks, type, block_header::decode(raw), {}};
            r.data.assign(f.begin() + 21 + 12, f.end() - 2);
            requests.push_back(r);
            if (drop && drop(r)) {
                continue;
            }
            if (type == P_BOOTLOADER_READ) {
                port.bytes.feed(make_frame(P_BOOTLOADER_READ_A, reply_body(r.head, r.head.length)));
            } else {
                block_header ack = r.head;
                ack.status = 1;
                port.bytes.feed(make_frame(P_BOOTLOADER_WRITE_A, ack.encode()));
            }
        }
    }

    // A read of 0x5000 .. 0x51FF that the controller leaves unanswered; its first request sent.
    void start_unanswered_read() {
        drop = [](const request&) { return true; };
        flash->start_read(Tsegment::single(0x5000, 0x200), false);
        run_ticks(2);
    }

    std::vector<std::uint32_t> request_addresses() const {
        std::vector<std::uint32_t> out;
        for (const auto& r : requests) {
            out.push_back(r.head.address);
        }
        return out;
    }

    fake_link_port port;
    int ticks = 0;
    std::size_t answered = 0;
    std::vector<request> requests;
    std::function<bool(const request&)> drop;
};

// --- reading ------------------------------------------------------------------------

TEST_F(flash_test, SettingsBlockIsRead64BlocksWithTheExactPercentages) {
    flash->start_read(Tsegment::single(0x5000, 0x4000), false);
    ASSERT_EQ(progress.shows.size(), 1u);
    EXPECT_EQ(progress.shows[0].text, "\xC4\x8Cten\xC3\xAD z MCU");
    EXPECT_EQ(progress.shows[0].total, 0x4000u);
    EXPECT_TRUE(progress.shows[0].visible);
    run_to_idle();

    ASSERT_EQ(requests.size(), 64u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].head.address, 0x5000u + 256u * i);
        EXPECT_EQ(requests[i].head.length, 256u);
        EXPECT_EQ(requests[i].head.status, 0u);
        EXPECT_EQ(requests[i].type, P_BOOTLOADER_READ);
    }
    ASSERT_EQ(progress.percents.size(), 64u);
    EXPECT_EQ(std::vector<std::uint32_t>(progress.percents.begin(), progress.percents.begin() + 7),
              (std::vector<std::uint32_t>{0, 2, 4, 5, 7, 8, 10}));
    EXPECT_EQ(std::vector<std::uint32_t>(progress.percents.end() - 3, progress.percents.end()),
              (std::vector<std::uint32_t>{96, 97, 99}));
    EXPECT_TRUE(progress.errors.empty());
    EXPECT_FALSE(progress.shows.back().visible);

    for (std::uint32_t a = 0x5000; a < 0x9000; ++a) {
        ASSERT_EQ(flash->image().image_at(a)[0], pattern(a)) << a;
    }
    EXPECT_EQ(flash->image().image_at(0x4FFF)[0], 0xFF);
    EXPECT_EQ(flash->image().image_at(0x9000)[0], 0xFF);
    EXPECT_TRUE(link->watchdog_enabled());
}

TEST_F(flash_test, NextRequestGoesOutInTheTickOfTheReplyAndTheLastReplyEndsTheTransfer) {
    run_ticks(10); // past the first keep-alive and its answer
    flash->start_read(Tsegment::single(0x5000, 0x300), false);
    int last_reply_tick = 0;
    while (flash->is_busy() && ticks < 1000) {
        const std::size_t before = log.packets.size();
        tick();
        for (std::size_t i = before; i < log.packets.size(); ++i) {
            if (log.packets[i].received && log.packets[i].type() == P_BOOTLOADER_READ_A) {
                last_reply_tick = ticks;
            }
        }
    }
    ASSERT_EQ(requests.size(), 3u);
    // Request, reply accepted two ticks later, next request in that very tick.
    EXPECT_EQ(requests[1].tick - requests[0].tick, 2);
    EXPECT_EQ(requests[2].tick - requests[1].tick, 2);
    EXPECT_EQ(last_reply_tick, ticks);
    // The request is logged before the answer that caused it.
    const auto& order = log.order;
    const auto first_answer = std::find(order.begin(), order.end(), "rx 6");
    ASSERT_NE(first_answer, order.end());
    EXPECT_EQ(*(first_answer - 1), "tx 5");
}

TEST_F(flash_test, ShortRangesEndWithAShorterBlock) {
    flash->start_read(Tsegment::single(0x100, 600), false);
    run_to_idle();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].head.address, 0x300u);
    EXPECT_EQ(requests[2].head.length, 88u);
    requests.clear();
    flash->start_read(Tsegment::single(0x40, 1), false);
    run_to_idle();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].head.length, 1u);
    EXPECT_EQ(flash->image().image_at(0x40)[0], pattern(0x40));
    EXPECT_EQ(flash->image().image_at(0x41)[0], 0xFF);
}

TEST_F(flash_test, EmptyListSendsNothingAndIsIdleAfterThreeSteps) {
    flash->start_read(Tsegment{}, false);
    ASSERT_EQ(progress.shows.size(), 1u);
    EXPECT_EQ(progress.shows.back().total, 0u);
    EXPECT_TRUE(flash->is_busy());
    flash->poll_step();
    flash->poll_step();
    EXPECT_TRUE(flash->is_busy());
    flash->poll_step();
    EXPECT_FALSE(flash->is_busy());
    run_ticks(5);
    EXPECT_TRUE(requests.empty());
}

TEST_F(flash_test, EntriesAreReadInIndexOrderSkippingEmptyOnes) {
    Tsegment ranges;
    ranges.start = {0x1000, 0x2000, 0x3000, 0, 0};
    ranges.length = {256, 0, 300, 0, 0};
    EXPECT_EQ(ranges.total_length(), 556u);
    flash->start_read(ranges, false);
    ASSERT_EQ(progress.shows.size(), 1u);
    EXPECT_EQ(progress.shows.back().total, 556u);
    run_to_idle();
    ASSERT_EQ(request_addresses(), (std::vector<std::uint32_t>{0x1000, 0x3000, 0x3100}));
    EXPECT_EQ(requests[2].head.length, 44u);
    ASSERT_FALSE(progress.percents.empty());
    EXPECT_EQ(progress.percents.back(), 100u - 44u * 100u / 556u);
}

// --- failures -----------------------------------------------------------------------

TEST_F(flash_test, FourSpreadTimeOutsRepeatTheirBlocksAndTheReadCompletes) {
    std::set<std::size_t> dropped_at = {1, 10, 20, 40};
    drop = [&](const request&) { return dropped_at.contains(requests.size() - 1); };
    flash->start_read(Tsegment::single(0x5000, 0x4000), false);
    run_to_idle();
    ASSERT_EQ(requests.size(), 68u);
    EXPECT_EQ(requests[2].head.address, requests[1].head.address);
    // 100 steps; the request went out from the reply handler, so that tick stepped too.
    EXPECT_EQ(requests[2].tick - requests[1].tick, 100);
    EXPECT_EQ(flash->timeouts(), 4u);
    EXPECT_TRUE(progress.errors.empty());
    for (std::uint32_t a = 0x5000; a < 0x9000; a += 0x80) {
        ASSERT_EQ(flash->image().image_at(a)[0], pattern(a));
    }
}

TEST_F(flash_test, FifthTimeOutAbortsWithOneErrorBoxAndStartReadResetsTheCount) {
    std::set<std::size_t> dropped_at = {0, 5, 9, 10, 30};
    drop = [&](const request&) { return dropped_at.contains(requests.size() - 1); };
    std::vector<std::int8_t> state_at_error;
    std::vector<bool> running_at_event;
    progress.on_event = [&] {
        running_at_event.push_back(flash->running());
        if (!progress.errors.empty() && state_at_error.empty()) {
            state_at_error.push_back(flash->state());
        }
    };
    flash->start_read(Tsegment::single(0x5000, 0x4000), false);
    run_to_idle();
    ASSERT_EQ(progress.errors, (std::vector<std::string>{message_text(2)}));
    EXPECT_EQ(progress.errors[0], "Writing to the device");
    EXPECT_EQ(state_at_error, (std::vector<std::int8_t>{5}));
    EXPECT_EQ(std::count(running_at_event.begin(), running_at_event.end(), true), 0);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().head.address, 0x5000u + 26u * 256u); // the 31st request
    run_ticks(300);
    EXPECT_EQ(progress.errors.size(), 1u);

    // A new read counts from zero again: four time-outs do not abort it.
    requests.clear();
    dropped_at = {0, 1, 2, 3};
    flash->start_read(Tsegment::single(0x5000, 0x400), false);
    run_to_idle();
    EXPECT_EQ(progress.errors.size(), 1u);
    EXPECT_EQ(requests.size(), 8u);
}

TEST_F(flash_test, ClosedPortEndsInTheAbortAfterFiveTimeOuts) {
    link->toggle_open();
    run_ticks(1);
    ASSERT_FALSE(port.open());
    flash->start_read(Tsegment::single(0x5000, 0x4000), false);
    run_to_idle();
    EXPECT_EQ(progress.errors.size(), 1u);
    EXPECT_EQ(flash->timeouts(), 5u);
}

TEST_F(flash_test, CancelIsTakenOnlyWhenTheNextBlockWouldBeRequested) {
    drop = [&](const request&) { return requests.size() == 3; }; // third request unanswered
    flash->start_read(Tsegment::single(0x5000, 0x4000), false);
    ASSERT_TRUE(tick_until([&] { return requests.size() >= 3; }));
    progress.cancel = true;
    run_ticks(50); // the outstanding request keeps waiting
    EXPECT_TRUE(progress.cancel);
    EXPECT_TRUE(flash->is_busy());
    run_to_idle(); // time-out, then Cancel is taken instead of the repeat
    EXPECT_FALSE(progress.cancel);
    EXPECT_EQ(requests.size(), 3u);
    EXPECT_TRUE(progress.errors.empty());
}

TEST_F(flash_test, CancelEndsOnlyTheRangeInProgress) {
    Tsegment ranges;
    ranges.start = {0x1000, 0x2000, 0, 0, 0};
    ranges.length = {0x400, 0x200, 0, 0, 0};
    flash->start_read(ranges, false);
    ASSERT_TRUE(tick_until([&] { return !requests.empty(); }));
    progress.cancel = true;
    run_to_idle();
    EXPECT_EQ(request_addresses(), (std::vector<std::uint32_t>{0x1000, 0x2000, 0x2100}));
    EXPECT_TRUE(progress.errors.empty());
}

// --- replies --------------------------------------------------------------------------

TEST_F(flash_test, ReplyForAnotherAddressIsIgnored) {
    start_unanswered_read();
    ASSERT_EQ(requests.size(), 1u);
    port.bytes.feed(make_frame(P_BOOTLOADER_READ_A, reply_body({256, 0x5100, 0}, 256)));
    run_ticks(6);
    EXPECT_EQ(flash->current(), 0x5000u);
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(flash->image().image_at(0x5100)[0], 0xFF);
}

TEST_F(flash_test, ReplyWithAnotherLengthStoresItsLengthAndAdvancesByTheRequest) {
    start_unanswered_read();
    port.bytes.feed(make_frame(P_BOOTLOADER_READ_A, reply_body({16, 0x5000, 7}, 16)));
    run_ticks(6);
    EXPECT_EQ(flash->image().image_at(0x500F)[0], pattern(0x500F));
    EXPECT_EQ(flash->image().image_at(0x5010)[0], 0xFF);
    EXPECT_EQ(flash->current(), 0x5100u);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().head.address, 0x5100u);
}

TEST_F(flash_test, MalformedRepliesAreIgnoredAndNothingOutsideThePayloadIsStored) {
    start_unanswered_read();
    // Shorter than the block header.
    const std::vector<std::uint8_t> short_body = {0, 1, 0, 0, 0, 0x50, 0, 0};
    port.bytes.feed(make_frame(P_BOOTLOADER_READ_A, short_body));
    // A length that says more than the frame carries.
    port.bytes.feed(make_frame(P_BOOTLOADER_READ_A, reply_body({0xFFFFFFF0, 0x5000, 0}, 40)));
    port.bytes.feed(make_frame(P_BOOTLOADER_READ_A, reply_body({256, 0x5000, 0}, 255)));
    run_ticks(8);
    EXPECT_EQ(flash->current(), 0x5000u);
    EXPECT_EQ(flash->image().image_at(0x5000)[0], 0xFF);
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(port.bytes.violations(), 0u);
}

TEST_F(flash_test, BlockReachingPastTheImageIsStoredUpToItsEnd) {
    flash->start_read(Tsegment::single(0xFFF80, 0x100), false);
    run_to_idle();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(flash->image().image_at(0xFFFFF)[0], pattern(0xFFFFF));
    EXPECT_TRUE(progress.errors.empty());
}

TEST_F(flash_test, StartReadWhileBusyRestartsAndOldRepliesNoLongerMatch) {
    drop = [&](const request&) { return requests.size() == 5; };
    flash->start_read(Tsegment::single(0x5000, 0x4000), false);
    ASSERT_TRUE(tick_until([&] { return requests.size() >= 5; }));
    flash->start_read(Tsegment::single(0x8000, 0x200), false);
    // The old transfer's answer to 0x5400 arrives late.
    port.bytes.feed(make_frame(P_BOOTLOADER_READ_A, reply_body({256, 0x5400, 0}, 256)));
    run_to_idle();
    ASSERT_GE(requests.size(), 6u);
    EXPECT_EQ(requests[5].head.address, 0x8000u);
    EXPECT_EQ(requests.back().head.address, 0x8100u);
    EXPECT_EQ(flash->image().image_at(0x5400)[0], 0xFF);
    EXPECT_EQ(flash->image().image_at(0x81FF)[0], pattern(0x81FF));
}

TEST_F(flash_test, NestedTicksDuringTheProgressCallsSeeTheNewState) {
    std::vector<std::int8_t> states;
    progress.on_event = [&] {
        states.push_back(flash->state());
        link->poll_link(); // what a window processing pending events would do
    };
    flash->start_read(Tsegment::single(0x5000, 0x400), false);
    run_to_idle();
    EXPECT_EQ(requests.size(), 4u);
    // Shown in state 1; hidden after the last block in state 5; hidden again going idle.
    EXPECT_EQ(states, (std::vector<std::int8_t>{1, 5, 0}));
    EXPECT_EQ(port.bytes.violations(), 0u);
}

TEST_F(flash_test, ReadStartedWhileTheEndOfATransferHidesTheWindowIsCarriedOut) {
    // A button pressed while hiding the progress window processes events: the new read
    // must not be swallowed by the old transfer's finishing step. Once after the last
    // block, once after the fifth time-out.
    for (const bool abort : {false, true}) {
        requests.clear();
        bool restarted = false;
        drop = [&](const request& r) { return abort && r.head.address == 0x5100; };
        progress.on_event = [&] {
            if (!restarted && flash->state() == 5) {
                restarted = true;
                flash->start_read(Tsegment::single(0x8000, 0x200), false);
            }
        };
        flash->start_read(Tsegment::single(0x5000, 0x200), false);
        run_to_idle();
        progress.on_event = nullptr;
        ASSERT_TRUE(restarted);
        ASSERT_GE(requests.size(), 2u);
        EXPECT_EQ(requests[requests.size() - 2].head.address, 0x8000u);
        EXPECT_EQ(requests.back().head.address, 0x8100u);
        EXPECT_EQ(flash->image().image_at(0x81FF)[0], pattern(0x81FF));
    }
}

// --- writing, line pulsing, handshake --------------------------------------------------

TEST_F(flash_test, WriteSendsImageBlocksAndAdvancesOnAcknowledgements) {
    for (std::uint32_t a = 0x2000; a < 0x2200; ++a) {
        flash->image().store_block(a, std::array<std::uint8_t, 1>{pattern(a + 1)});
    }
    flash->start_write(Tsegment::single(0x2000, 0x180), false);
    ASSERT_EQ(progress.shows.size(), 1u);
    EXPECT_EQ(progress.shows.back().text, "Z\xC3\xA1pis do MCU");
    run_to_idle();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, P_BOOTLOADER_WRITE);
    EXPECT_EQ(requests[0].data.size(), 256u);
    EXPECT_EQ(requests[1].head.length, 0x80u);
    ASSERT_EQ(requests[1].data.size(), 0x80u);
    EXPECT_EQ(requests[1].data[0], pattern(0x2101));
    EXPECT_EQ(requests[1].data[0x7F], pattern(0x2180));
}

TEST_F(flash_test, WriteAcknowledgementWithoutStatusOneIsIgnored) {
    drop = [](const request&) { return true; };
    flash->start_write(Tsegment::single(0x2000, 0x100), false);
    run_ticks(2);
    port.bytes.feed(make_frame(P_BOOTLOADER_WRITE_A, block_header{256, 0x2000, 0}.encode()));
    run_ticks(6);
    EXPECT_EQ(flash->current(), 0x2000u);
    port.bytes.feed(make_frame(P_BOOTLOADER_WRITE_A, block_header{256, 0x2000, 1}.encode()));
    run_ticks(6);
    EXPECT_FALSE(flash->is_busy());
}

TEST_F(flash_test, ResetLinesPulsesAroundTheTransfer) {
    flash->start_read(Tsegment{}, true);
    port.events.clear();
    std::vector<std::pair<int, std::string>> seen;
    for (int step = 0; step < 300 && flash->is_busy(); ++step) {
        const std::size_t before = port.events.size();
        const bool watchdog_before = link->watchdog_enabled();
        flash->poll_step();
        for (std::size_t i = before; i < port.events.size(); ++i) {
            seen.emplace_back(step, port.events[i]);
        }
        if (watchdog_before != link->watchdog_enabled()) {
            seen.emplace_back(step, link->watchdog_enabled() ? "watchdog on" : "watchdog off");
        }
    }
    // Blocks begin in step 150, none is left in 151 and the finishing begins.
    const std::vector<std::pair<int, std::string>> expected = {
        {10, "watchdog off"}, {50, "dtr+"},  {50, "rts+"},  {100, "dtr-"},
        {161, "dtr+"},        {161, "rts-"}, {191, "dtr-"}, {221, "watchdog on"}};
    EXPECT_EQ(seen, expected);
}

TEST_F(flash_test, IspHandshakeSendsItsCommandsLineByLine) {
    port.bytes.clear_sent();
    flash->start_isp();
    for (int i = 0; i < 80; ++i) {
        flash->poll_step();
    }
    ASSERT_EQ(port.bytes.sent().size(), 1u);
    EXPECT_EQ(port.bytes.sent()[0], (std::vector<std::uint8_t>{0x3F}));
    const std::vector<std::string> expected = {"Synchronized\r", "12000\r", "J\r"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        port.bytes.feed("answer\r\n");
        flash->poll_step();
        ASSERT_EQ(port.bytes.sent().size(), i + 2);
        EXPECT_EQ(std::string(port.bytes.sent().back().begin(), port.bytes.sent().back().end()),
                  expected[i]);
    }
    port.bytes.feed("part id\r\n");
    flash->poll_step(); // state 10: nothing sent
    EXPECT_EQ(port.bytes.sent().size(), 4u);
    port.bytes.feed("x\r\n");
    flash->poll_step();
    EXPECT_EQ(std::string(port.bytes.sent().back().begin(), port.bytes.sent().back().end()),
              "U 23130\r");
    EXPECT_TRUE(flash->is_busy());
    port.bytes.feed("0\r\n");
    flash->poll_step();
    EXPECT_FALSE(flash->is_busy());
    EXPECT_NE(std::find(log.texts.begin(), log.texts.end(), "answer\r"), log.texts.end());
    // What was sent is noted with a leading "* ".
    std::erase_if(log.texts, [](const std::string& t) { return !t.starts_with("* "); });
    EXPECT_EQ(log.texts, (std::vector<std::string>{"* 0x3F", "* Synchronized", "* 12000", "* J",
                                                   "* U 23130"}));
}

TEST(progress_percent_test, CountsThePartAlreadyRequested) {
    EXPECT_EQ(progress_percent(0, 0), 0u);
    EXPECT_EQ(progress_percent(0, 500), 0u);
    EXPECT_EQ(progress_percent(16384, 16384), 0u);
    EXPECT_EQ(progress_percent(16384, 16384 - 256), 2u);
    EXPECT_EQ(progress_percent(16384, 256), 99u);
    EXPECT_EQ(progress_percent(16384, 0), 100u);
    EXPECT_EQ(progress_percent(100, 200), 0u);                // never wraps
    EXPECT_EQ(progress_percent(0xFFFFFFFF, 0x7FFFFFFF), 51u); // no 32-bit overflow
}

TEST(segment_test, FirstEntryOperations) {
    Tsegment s;
    EXPECT_FALSE(s.any());
    s.start = {1, 2, 3, 4, 5};
    s.length = {0, 0, 30, 0, 50};
    EXPECT_TRUE(s.any());
    EXPECT_EQ(s.first_start(), 3u);
    EXPECT_EQ(s.first_length(), 30u);
    s.clear_first();
    EXPECT_EQ(s.start[2], 0u);
    EXPECT_EQ(s.first_start(), 5u);
    EXPECT_EQ(s.total_length(), 50u);
    const auto one = Tsegment::single(0x5000, 0x4000);
    EXPECT_EQ(one.start[0], 0x5000u);
    EXPECT_EQ(one.total_length(), 0x4000u);
}

} // namespace
} // namespace zev1
