// Each injected fault, from the command line and at run time.
#include "sim/sim_harness.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace zev1::simtest {
namespace {

const bytes ping = make_frame(P_PING, sim_header);
const bytes ping_answer = make_frame(P_PING_A, sim_header);

bytes read_request(std::uint32_t length, std::uint32_t address) {
    return make_frame(P_BOOTLOADER_READ, sim_header, block_header(length, address));
}

TEST(SimFaults, SilentAnswersNothingUntilSwitchedOff) {
    sim_process sim({"--silent"});
    client c(sim.link());
    c.send(ping);
    EXPECT_TRUE(sim.wait_line({"\"dir\":\"rx\",\"type\":1"})); // it still listens
    EXPECT_TRUE(c.read_for(150ms).empty());
    ASSERT_TRUE(sim.command_done("silent off"));
    c.send(ping);
    EXPECT_EQ(c.read(ping_answer.size()), ping_answer);
}

TEST(SimFaults, DropEveryNthAnswer) {
    sim_process sim({"--drop-every", "2"});
    client c(sim.link());
    c.send(ping);
    EXPECT_EQ(c.read(ping_answer.size()), ping_answer);
    c.send(ping);
    EXPECT_TRUE(sim.wait_line({"\"event\":\"drop\",\"type\":2,\"len\":23"}));
    c.send(ping);
    EXPECT_EQ(c.read(ping_answer.size() + 1, 300ms), ping_answer); // one answer, not two
    ASSERT_TRUE(sim.command_done("drop 0"));
    c.send(ping);
    c.send(ping);
    EXPECT_EQ(c.read(2 * ping_answer.size()), concat(ping_answer, ping_answer));
}

TEST(SimFaults, CorruptEveryNthAnswerBreaksItsChecksum) {
    sim_process sim({"--corrupt-every", "2"});
    client c(sim.link());
    c.send(ping);
    EXPECT_EQ(c.read(ping_answer.size()), ping_answer);
    c.send(ping);
    bytes corrupted = ping_answer;
    corrupted[corrupted.size() - 3] ^= 0xFF;
    EXPECT_EQ(c.read(ping_answer.size()), corrupted);
    EXPECT_TRUE(sim.wait_line({"\"dir\":\"tx\"", "\"fault\":\"corrupt\"", hex(corrupted)}));
    ASSERT_TRUE(sim.command_done("corrupt 1"));
    c.send(ping);
    EXPECT_EQ(c.read(ping_answer.size()), corrupted);
}

TEST(SimFaults, GarbageBeforeTheFirstAnswerAndOnCommand) {
    sim_process sim({"--garbage", "40"});
    client c(sim.link());
    c.send(ping);
    const bytes got = c.read(40 + ping_answer.size());
    ASSERT_EQ(got.size(), 40 + ping_answer.size());
    EXPECT_EQ(bytes(got.begin() + 40, got.end()), ping_answer);
    EXPECT_EQ(std::count(got.begin(), got.begin() + 40, frame_sync1), 0);
    EXPECT_TRUE(sim.wait_line({"\"garbage\":true,\"len\":40"}));
    // Only once.
    c.send(ping);
    EXPECT_EQ(c.read(ping_answer.size() + 1, 300ms), ping_answer);

    sim.command("garbage 7");
    EXPECT_EQ(c.read(7).size(), 7u);
    EXPECT_TRUE(sim.wait_line({"\"garbage\":true,\"len\":7"}));
}

TEST(SimFaults, ReadAnswersWithWrongAddressOrShortBody) {
    sim_process sim({"--wrong-address", "--ssid", "Net"});
    client c(sim.link());
    c.send(read_request(16, 0x5300));
    bytes answer = c.read(frame_overhead + 28);
    ASSERT_EQ(answer.size(), frame_overhead + 28);
    EXPECT_EQ(bytes(answer.begin() + 21, answer.begin() + 33), block_header(16, 0x5400));

    sim.command("wrong-address off");
    ASSERT_TRUE(sim.command_done("short-read on"));
    c.send(read_request(32, 0x5300));
    // The header promises 32 bytes; 16 come.
    answer = c.read(frame_overhead + 12 + 32, 300ms);
    bytes data = concat(bytes(0x0B, 0xFF), text_bytes("Net"));
    data.resize(16, 0);
    EXPECT_EQ(answer,
              make_frame(P_BOOTLOADER_READ_A, sim_header, concat(block_header(32, 0x5300), data)));
}

TEST(SimFaults, EchoWithoutZeroAndTooLong) {
    sim_process sim({"--echo-no-zero"});
    client c(sim.link());
    const bytes echo = make_frame(P_ECHO, sim_header);
    c.send(echo);
    EXPECT_EQ(c.read(50, 300ms), make_frame(P_ECHO_A, sim_header, text_bytes("ZEV1-SIM", false)));

    sim.command("echo-no-zero off");
    ASSERT_TRUE(sim.command_done("echo-long on"));
    c.send(echo);
    const bytes answer = c.read(300);
    ASSERT_EQ(answer.size(), 300u); // the longest frame the tool accepts
    EXPECT_EQ(answer[3], 44);       // 0x012C
    EXPECT_EQ(answer[4], P_ECHO_A);
    const bytes data(answer.begin() + 21, answer.end() - 2);
    EXPECT_EQ(data.size(), 277u);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 8), "ZEV1-SIM");
    EXPECT_EQ(std::count(data.begin(), data.end(), 0), 1);
    EXPECT_EQ(data.back(), 0);
}

TEST(SimFaults, SayAndLongTextFrames) {
    sim_process sim;
    client c(sim.link());
    // Text sent while nobody has the port open is lost, as on the real line.
    ASSERT_TRUE(sim.wait_line({"\"event\":\"peer-open\""}));
    sim.command("say Boiler  ready ");
    const bytes text = make_frame(p_text, sim_header, text_bytes("Boiler  ready "));
    EXPECT_EQ(c.read(text.size()), text);

    sim.command("long-text on");
    sim.command("say hi");
    const bytes long_text = c.read(300);
    ASSERT_EQ(long_text.size(), 300u);
    EXPECT_EQ(long_text[4], p_text);
    const bytes data(long_text.begin() + 21, long_text.end() - 2);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 2), "hi");
    EXPECT_EQ(std::count(data.begin(), data.end(), 0), 0);
    EXPECT_EQ(frame_checksum(bytes(long_text.begin(), long_text.end() - 2)),
              long_text[298] << 8 | long_text[299]);
}

TEST(SimFaults, DelayBeforeEachAnswer) {
    sim_process sim({"--delay", "120"});
    client c(sim.link());
    const auto start = std::chrono::steady_clock::now();
    c.send(ping);
    EXPECT_EQ(c.read(ping_answer.size()), ping_answer);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 120ms);
    ASSERT_TRUE(sim.command_done("delay 0"));
    const auto again = std::chrono::steady_clock::now();
    c.send(ping);
    EXPECT_EQ(c.read(ping_answer.size()), ping_answer);
    EXPECT_LT(std::chrono::steady_clock::now() - again, 120ms);
}

TEST(SimFaults, UnplugRemovesTheLinkAndReplugBringsANewPty) {
    sim_process sim;
    const auto ready = sim.wait_line({"\"event\":\"ready\""});
    ASSERT_TRUE(ready);
    client old(sim.link());
    old.send(ping);
    EXPECT_EQ(old.read(ping_answer.size()), ping_answer);

    sim.command("unplug");
    ASSERT_TRUE(sim.wait_line({"\"event\":\"unplug\""}));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.link())));
    EXPECT_TRUE(old.sees_hangup());

    sim.command("replug");
    const auto replug = sim.wait_line({"\"event\":\"replug\""});
    ASSERT_TRUE(replug);
    const std::string target = std::filesystem::read_symlink(sim.link()).string();
    EXPECT_NE(replug->find("\"pty\":\"" + target + "\""), std::string::npos);
    // The old slave is still held open here, so the new pair cannot reuse its name.
    EXPECT_EQ(ready->find("\"pty\":\"" + target + "\""), std::string::npos);

    client fresh(sim.link());
    fresh.send(make_frame(P_ECHO, frame_header{}));
    const bytes echo_answer = make_frame(P_ECHO_A, sim_header, text_bytes("ZEV1-SIM"));
    EXPECT_EQ(fresh.read(echo_answer.size()), echo_answer);
}

TEST(SimFaults, CutStopsAnAnswerAtAByteAndCanPullThePortAfterIt) {
    // Paced as the wire is, so "written before the event" means something.
    sim_process sim({"--baud", "115200", "--cut", "6 2 200"});
    client c(sim.link());
    const bytes request = read_request(256, 0x5300);
    c.send(request);
    const bytes whole = c.read(291);
    ASSERT_EQ(whole.size(), 291u); // the first read answer is not the one cut

    const auto sent = std::chrono::steady_clock::now();
    c.send(request);
    ASSERT_TRUE(sim.wait_line({"\"event\":\"cut\",\"type\":6,\"len\":291,\"at\":200"}));
    // The event comes only once the 200 bytes have been written: 17.4 ms at 115200.
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 17ms);
    EXPECT_EQ(c.read(291, 300ms), bytes(whole.begin(), whole.begin() + 200));
    EXPECT_TRUE(sim.wait_line({"\"dir\":\"tx\",\"type\":6", "\"fault\":\"cut\""}));

    // A malformed cut changes nothing; then the next read answer stops after 100 bytes
    // and the port is pulled, to come back 300 ms later.
    sim.command("cut 6 0 5");
    ASSERT_TRUE(sim.wait_line({"\"error\":\"command\",\"line\":\"cut 6 0 5\""}));
    ASSERT_TRUE(sim.command_done("cut 6 1 100 unplug 300"));
    c.send(request);
    EXPECT_EQ(c.read(291, 1000ms), bytes(whole.begin(), whole.begin() + 100));
    EXPECT_TRUE(c.sees_hangup());
    const auto pulled = std::chrono::steady_clock::now();
    ASSERT_TRUE(sim.wait_line({"\"event\":\"replug\""}, 2000ms));
    EXPECT_GE(std::chrono::steady_clock::now() - pulled, 250ms);
    std::vector<std::string> order;
    for (const std::string& line : sim.lines()) {
        const auto event = test::json_field(line, "event").value_or("");
        if (event == "cut" || event == "unplug" || event == "replug") {
            order.push_back(event);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"cut", "cut", "unplug", "replug"}));
    client fresh(sim.link());
    fresh.send(request);
    EXPECT_EQ(fresh.read(291), whole);

    // With mute the port stays, but for a while nothing is sent and what arrives is lost.
    ASSERT_TRUE(sim.command_done("cut 6 1 50 mute 400"));
    fresh.send(request);
    EXPECT_EQ(fresh.read(291, 200ms), bytes(whole.begin(), whole.begin() + 50));
    fresh.send(request);
    EXPECT_TRUE(fresh.read_for(100ms).empty());
    EXPECT_TRUE(sim.wait_line({"\"event\":\"mute-end\",\"dropped\":35"}));
    fresh.send(request);
    EXPECT_EQ(fresh.read(291), whole);
}

TEST(SimFaults, ToolClosingAndReopeningThePortIsServedAgain) {
    sim_process sim;
    {
        client c(sim.link());
        c.send(ping);
        EXPECT_EQ(c.read(ping_answer.size()), ping_answer);
        const bytes echo = make_frame(P_ECHO, sim_header);
        c.send(bytes(echo.begin(), echo.begin() + 10)); // half a frame left behind
    }
    ASSERT_TRUE(sim.wait_line({"\"event\":\"peer-closed\""}));
    client again(sim.link());
    // A new session starts with an all-zero header without a header error.
    const std::size_t from = sim.line_count();
    again.send(make_frame(P_PING, frame_header{}));
    EXPECT_EQ(again.read(ping_answer.size() + 1, 300ms), ping_answer);
    EXPECT_FALSE(sim.wait_line({"\"error\""}, 50ms, from));
}

} // namespace
} // namespace zev1::simtest
