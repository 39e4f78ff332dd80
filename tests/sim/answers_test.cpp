// What the simulator answers to each request, byte for byte, and what it prints.
#include "sim/sim_harness.h"

#include <gtest/gtest.h>

namespace zev1::simtest {
namespace {

const std::vector<std::string> wifi_args{
    "--ssid",     "HomeNet", "--key",      "pass-1234",
    "--security", "WPA2",    "--endpoint", "server.example,5555"};

// Expected memory bytes of a text field: the text, then zeros up to the room's end.
bytes field(std::string_view text, std::size_t room) {
    bytes b(text.begin(), text.end());
    b.resize(room, 0);
    return b;
}

bytes read_block(client& c, std::uint32_t address, std::uint32_t length) {
    c.send(make_frame(P_BOOTLOADER_READ, sim_header, block_header(length, address)));
    const bytes answer = c.read(length + 12 + frame_overhead);
    const bytes expected_head = block_header(length, address);
    if (answer.size() != length + 12 + frame_overhead ||
        !std::equal(expected_head.begin(), expected_head.end(), answer.begin() + 21)) {
        return {};
    }
    return bytes(answer.begin() + 33, answer.end() - 2);
}

TEST(SimAnswers, ReadyLineNamesLinkPtyAndHeader) {
    sim_process sim;
    const auto ready = sim.wait_line({"\"event\":\"ready\""});
    ASSERT_TRUE(ready) << sim.stderr_text();
    EXPECT_NE(ready->find("\"link\":\"" + sim.link() + "\""), std::string::npos);
    EXPECT_NE(ready->find("\"header\":\"" + std::string(sim_header_hex) + "\""), std::string::npos);
    EXPECT_NE(ready->find("\"pty\":\"/dev/pts/"), std::string::npos);
}

TEST(SimAnswers, EchoAndPingByteForByteAndLoggedAsJson) {
    sim_process sim;
    client c(sim.link());
    ASSERT_TRUE(c.is_open());

    // The tool starts with an all-zero header: the worked example of the frame format.
    const bytes echo = make_frame(P_ECHO, frame_header{});
    ASSERT_EQ(hex(echo).substr(hex(echo).size() - 4), "FF2A");
    c.send(echo);
    const bytes echo_answer = make_frame(P_ECHO_A, sim_header, text_bytes("ZEV1-SIM"));
    EXPECT_EQ(c.read(echo_answer.size() + 1, 300ms), echo_answer);

    c.send(make_frame(P_PING, sim_header));
    const bytes ping_answer = make_frame(P_PING_A, sim_header);
    EXPECT_EQ(c.read(ping_answer.size()), ping_answer);

    EXPECT_TRUE(
        sim.wait_line({"{\"dir\":\"rx\",\"type\":3,\"len\":23,\"hex\":\"" + hex(echo) + "\"}"}));
    EXPECT_TRUE(sim.wait_line(
        {"{\"dir\":\"tx\",\"type\":4,\"len\":32,\"hex\":\"" + hex(echo_answer) + "\"}"}));
    EXPECT_TRUE(
        sim.wait_line({"\"dir\":\"tx\",\"type\":2,\"len\":23,\"hex\":\"" + hex(ping_answer)}));
    EXPECT_FALSE(sim.wait_line({"\"error\""}, 0ms));
}

TEST(SimAnswers, IdFromCommandLineAndSequenceByteAccepted) {
    sim_process sim({"--id", "BOILER 7"});
    client c(sim.link());
    // Bit 7 of the type byte: a sequence byte follows the header and is not examined.
    bytes ping = make_frame(P_ECHO, frame_header{});
    ping[4] |= frame_sequence_flag;
    ping.insert(ping.begin() + 21, 0x42);
    ping[3] = static_cast<std::uint8_t>(ping.size());
    ping.resize(ping.size() - 2);
    const std::uint16_t sum = frame_checksum(ping);
    ping.push_back(static_cast<std::uint8_t>(sum >> 8));
    ping.push_back(static_cast<std::uint8_t>(sum));
    c.send(ping);
    const bytes answer = make_frame(P_ECHO_A, sim_header, text_bytes("BOILER 7"));
    EXPECT_EQ(c.read(answer.size()), answer);
    EXPECT_TRUE(sim.wait_line({"\"dir\":\"rx\"", "\"seq\":true"}));
}

TEST(SimAnswers, SettingsBlockReadIn64BlocksHoldsTheCommandLineTexts) {
    sim_process sim(wifi_args);
    client c(sim.link());
    bytes block;
    for (std::uint32_t address = 0x5000; address < 0x9000; address += 256) {
        const bytes part = read_block(c, address, 256);
        ASSERT_EQ(part.size(), 256u) << "block at " << address;
        block.insert(block.end(), part.begin(), part.end());
    }
    auto at = [&](std::uint32_t address, std::size_t n) {
        return bytes(block.begin() + (address - 0x5000), block.begin() + (address - 0x5000 + n));
    };
    EXPECT_EQ(at(0x530B, 33), field("HomeNet", 33));
    EXPECT_EQ(at(0x532C, 65), field("pass-1234", 65));
    EXPECT_EQ(at(0x536D, 10), field("WPA2", 10));
    EXPECT_EQ(at(0x5377, 147), field("server.example,5555", 147));
    // Everything else is the erased 0xFF.
    EXPECT_EQ(at(0x5000, 0x30B), bytes(0x30B, 0xFF));
    EXPECT_EQ(at(0x540A, 0x9000 - 0x540A), bytes(0x9000 - 0x540A, 0xFF));
}

TEST(SimAnswers, BlockWriteIsAcknowledgedAndReadBack) {
    sim_process sim;
    client c(sim.link());
    bytes data;
    for (int i = 0; i < 200; ++i) {
        data.push_back(static_cast<std::uint8_t>(i * 7));
    }
    c.send(make_frame(P_BOOTLOADER_WRITE, sim_header, concat(block_header(200, 0xFFF00), data)));
    const bytes ack = make_frame(P_BOOTLOADER_WRITE_A, sim_header, block_header(200, 0xFFF00, 1));
    EXPECT_EQ(c.read(ack.size()), ack);
    EXPECT_EQ(read_block(c, 0xFFF00, 200), data);
    // A read that ends exactly at the end of the memory.
    EXPECT_EQ(read_block(c, 0xFFFFF, 1), bytes{0xFF});
    EXPECT_TRUE(
        sim.wait_line({"\"event\":\"stored\"", "\"what\":\"block\"", "\"address\":1048320"}));
}

bytes wifi_body(std::string_view security, std::string_view ssid, std::string_view key,
                std::string_view endpoint) {
    bytes body(256, 0);
    std::copy(security.begin(), security.end(), body.begin());
    std::copy(ssid.begin(), ssid.end(), body.begin() + 10);
    std::copy(key.begin(), key.end(), body.begin() + 44);
    std::copy(endpoint.begin(), endpoint.end(), body.begin() + 109);
    return body;
}

TEST(SimAnswers, WifiWriteIsConfirmedAndAReadShowsTheNewTexts) {
    sim_process sim(wifi_args);
    client c(sim.link());
    const std::string ssid32(32, 'S');
    const std::string key64(64, 'k');
    const std::string endpoint146 = std::string(140, 'e') + ",55555";
    const bytes request =
        make_frame(P_WIFI_SETTINGS, sim_header, wifi_body("WPA2AES", ssid32, key64, endpoint146));
    ASSERT_EQ(request.size(), 279u);
    c.send(request);
    const bytes confirm = make_frame(p_text, sim_header, text_bytes("wifi settings stored"));
    EXPECT_EQ(c.read(confirm.size()), confirm);

    const bytes block = read_block(c, 0x5300, 256);
    ASSERT_EQ(block.size(), 256u);
    auto at = [&](std::uint32_t address, std::size_t n) {
        return bytes(block.begin() + (address - 0x5300), block.begin() + (address - 0x5300 + n));
    };
    EXPECT_EQ(at(0x530B, 33), field(ssid32, 33));
    EXPECT_EQ(at(0x532C, 65), field(key64, 65));
    EXPECT_EQ(at(0x536D, 10), field("WPA2AES", 10));
    EXPECT_EQ(at(0x5377, 137), field(endpoint146, 137)); // the rest lies past this block
    EXPECT_TRUE(
        sim.wait_line({"{\"dir\":\"rx\",\"type\":100,\"len\":279,\"hex\":\"" + hex(request)}));
    EXPECT_TRUE(sim.wait_line({"\"what\":\"wifi\"", "\"security\":\"WPA2AES\""}));

    // All-zero fields (security "AUTO", empty texts) store empty texts.
    c.send(make_frame(P_WIFI_SETTINGS, sim_header, bytes(256, 0)));
    EXPECT_EQ(c.read(confirm.size()), confirm);
    const bytes cleared = read_block(c, 0x530B, 33);
    EXPECT_EQ(cleared, bytes(33, 0));
}

TEST(SimAnswers, WifiBodiesThatDoNotFitAreRefusedAndNothingIsStored) {
    sim_process sim(wifi_args);
    client c(sim.link());
    // 33 bytes of SSID fill the memory room exactly: stored without a terminator, and the
    // key right behind it is untouched.
    c.send(
        make_frame(P_WIFI_SETTINGS, sim_header, wifi_body("WPA2", std::string(33, 'x'), "k", "e")));
    const bytes stored = make_frame(p_text, sim_header, text_bytes("wifi settings stored"));
    EXPECT_EQ(c.read(stored.size()), stored);
    bytes ssid_and_key(33, 'x');
    ssid_and_key.push_back('k');
    ssid_and_key.push_back(0);
    EXPECT_EQ(read_block(c, 0x530B, 35), ssid_and_key);

    // 34 bytes of SSID leave no room for the terminator in the body.
    c.send(
        make_frame(P_WIFI_SETTINGS, sim_header, wifi_body("WPA2", std::string(34, 'x'), "k", "e")));
    const bytes refused =
        make_frame(p_text, sim_header,
                   text_bytes("wifi settings refused: ssid has no zero byte within its 34 bytes"));
    EXPECT_EQ(c.read(refused.size()), refused);
    EXPECT_TRUE(
        sim.wait_line({"\"error\":\"malformed\"", "\"type\":100", "ssid has no zero byte"}));

    // A security field with no zero byte within its 10 bytes.
    c.send(make_frame(P_WIFI_SETTINGS, sim_header, wifi_body("0123456789", "x", "k", "e")));
    const bytes no_zero = c.read(refused.size() + 50, 300ms);
    EXPECT_NE(std::string(no_zero.begin(), no_zero.end()).find("security has no zero byte"),
              std::string::npos);

    // 255 bytes: refused too.
    c.send(make_frame(P_WIFI_SETTINGS, sim_header, bytes(255, 0)));
    EXPECT_TRUE(sim.wait_line({"\"error\":\"malformed\"", "body of 255 bytes"}));
    c.read_for(100ms);

    // The refused bodies changed nothing: the 33-byte SSID stored first is still there.
    EXPECT_EQ(read_block(c, 0x530B, 35), ssid_and_key);
}

} // namespace
} // namespace zev1::simtest
