// The WiFi settings body, the texts read out of the image and the read workflow.
#include "memory/wifi_settings.h"
#include "support/fake_link_port.h"
#include "support/link_stack.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

namespace zev1 {
namespace {

using ::testing::Each;

std::string field_text(const wifi_body& body, std::size_t offset, std::size_t size) {
    const auto begin = body.bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(size), 0);
    return {begin, end};
}

// The four texts: security type, SSID, password, endpoint.
std::vector<std::string> fields(const wifi_body& body) {
    return {field_text(body, 0, 10), field_text(body, 10, 34), field_text(body, 44, 65),
            field_text(body, 109, 147)};
}

// The byte behind the room of each text.
std::vector<std::uint8_t> terminators(const wifi_body& body) {
    return {body.bytes[9], body.bytes[43], body.bytes[108], body.bytes[255]};
}

bool all_zero(const wifi_body& body, std::size_t offset, std::size_t size) {
    return std::all_of(body.bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       body.bytes.begin() + static_cast<std::ptrdiff_t>(offset + size),
                       [](std::uint8_t b) { return b == 0; });
}

TEST(wifi_body_test, AutoSecurityLeavesTheFirstTenBytesZero) {
    const auto body = build_wifi_body({"AUTO", "home", "secret", "10.0.0.1,5555"});
    EXPECT_TRUE(all_zero(body, 0, 10));
    EXPECT_EQ(fields(body), (std::vector<std::string>{"", "home", "secret", "10.0.0.1,5555"}));
    EXPECT_TRUE(body.cuts.empty());
    // Letter case counts here: "auto" is sent as typed.
    EXPECT_EQ(field_text(build_wifi_body({"auto", "", "", ""}), 0, 10), "auto");
}

TEST(wifi_body_test, OnlyWpa2IsWpa2AndZeros) {
    const auto body = build_wifi_body({"WPA2", "", "", ""});
    EXPECT_EQ(field_text(body, 0, 10), "WPA2");
    EXPECT_TRUE(all_zero(body, 4, 252));
}

// A text that fills its room exactly keeps its terminator; a longer one is cut at the room
// and reported.
TEST(wifi_body_test, TextsAreBoundedByTheirRoomAndTheLongerOnesReported) {
    const std::vector<std::string> filled = {std::string(9, 's'), std::string(33, 'n'),
                                             std::string(64, 'k'), std::string(146, 'e')};
    const auto exact = build_wifi_body({filled[0], filled[1], filled[2], filled[3]});
    EXPECT_TRUE(exact.cuts.empty());
    EXPECT_EQ(fields(exact), filled);
    EXPECT_THAT(terminators(exact), Each(0));
    const auto body = build_wifi_body(
        {std::string(20, 's'), std::string(50, 'n'), std::string(100, 'k'), std::string(300, 'e')});
    EXPECT_EQ(fields(body), filled);
    EXPECT_THAT(terminators(body), Each(0));
    std::vector<std::pair<std::string_view, std::size_t>> cuts;
    for (const auto& cut : body.cuts) {
        cuts.emplace_back(cut.field, cut.limit);
    }
    EXPECT_EQ(cuts, (std::vector<std::pair<std::string_view, std::size_t>>{
                        {"security type", 9}, {"SSID", 33}, {"password", 64}, {"endpoint", 146}}));
}

TEST(wifi_body_test, CutsNeverSplitAUtf8Character) {
    // 32 ASCII bytes and then "č" (two bytes): the 33rd byte would split it.
    const std::string ssid = std::string(32, 'a') + "\xC4\x8D" + "x";
    const auto body = build_wifi_body({"AUTO", ssid, "", ""});
    EXPECT_EQ(field_text(body, 10, 34), std::string(32, 'a'));
    EXPECT_EQ(body.cuts.size(), 1u);
    // "€" is three bytes: 7 + 3 = 10 > 9.
    const auto sec = build_wifi_body({"WPA2AES\xE2\x82\xAC", "", "", ""});
    EXPECT_EQ(field_text(sec, 0, 10), "WPA2AES");
    // Text that is not UTF-8 (a single-byte code page) is cut at the byte limit.
    const std::string latin2(40, '\xE8');
    EXPECT_EQ(fitting_length(latin2, 33), 33u);
    // Encoded surrogates and overlong forms are not UTF-8 either.
    std::string surrogates;
    for (int i = 0; i < 12; ++i) {
        surrogates += "\xED\xA0\x80";
    }
    EXPECT_EQ(fitting_length(surrogates, 34), 34u);
    EXPECT_EQ(fitting_length(std::string(3, 'a') + "\xE0\x80\x80x", 4), 4u);
    EXPECT_EQ(fitting_length("\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 7), 4u);
    EXPECT_EQ(fitting_length("short", 33), 5u);
}

TEST(wifi_security_test, ChoiceIgnoresCaseAndFallsBackToAuto) {
    EXPECT_EQ(wifi_security_index("wpa2"), 7u);
    EXPECT_EQ(wifi_security_index("WPA2TKIP"), 6u);
    EXPECT_EQ(wifi_security_index("Open"), 1u);
    EXPECT_EQ(wifi_security_index(""), 0u);
    EXPECT_EQ(wifi_security_index("WPA3"), 0u);
    EXPECT_EQ(wifi_security_index("WPA2 "), 0u);
}

TEST(wifi_read_test, TextsAreBoundedSoThatWhatIsReadCanBeWrittenBack) {
    auto image = std::make_unique<memory_image>();
    // Never loaded (or an erased controller): 0xFF everywhere, no terminator anywhere.
    const auto unloaded = read_wifi_settings(*image);
    EXPECT_EQ(unloaded.ssid.size(), 33u);
    EXPECT_EQ(unloaded.key.size(), 64u);
    EXPECT_EQ(unloaded.security.size(), 9u);
    EXPECT_EQ(unloaded.endpoint.size(), 146u);
    const wifi_body back = build_wifi_body(unloaded);
    EXPECT_TRUE(back.cuts.empty());
    EXPECT_EQ(back.bytes[wifi_key_offset + 63], 0xFF);
    EXPECT_EQ(back.bytes[wifi_key_offset + 64], 0x00);
    const std::string ssid = "home-net";
    image->store_block(wifi_ssid_address,
                       std::span(reinterpret_cast<const std::uint8_t*>(ssid.c_str()), 9));
    EXPECT_EQ(read_wifi_settings(*image).ssid, "home-net");
}

class wifi_workflow_test : public ::testing::Test, protected link_stack {
protected:
    void SetUp() override {
        port.present.insert("COM5");
        build_stack(port, "COM5", true);
        workflow.emplace(*flash);
    }
    void TearDown() override {
        workflow.reset();
        take_down_stack();
    }
    // Polls until the sequencer is idle (the read ends without a controller).
    void run_read() {
        for (int i = 0; i < 1000 && flash->is_busy(); ++i) {
            link->poll_link();
        }
    }
    void put_text(std::uint32_t address, std::string_view text) {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        flash->image().store_block(address, bytes);
    }

    fake_link_port port;
    std::optional<wifi_workflow> workflow;
};

TEST_F(wifi_workflow_test, ResultComesOnceWhenTheSequencerIsIdle) {
    EXPECT_FALSE(workflow->after_poll());
    workflow->start_read(false);
    EXPECT_EQ(flash->ranges().total_length() + (flash->end() - flash->current()), 0x4000u);
    EXPECT_EQ(flash->current(), 0x5000u);
    EXPECT_FALSE(flash->reset_lines());
    EXPECT_FALSE(workflow->after_poll()); // busy
    // No controller: the read ends (aborted) and the fields come from the image anyway.
    put_text(wifi_ssid_address, "net");
    put_text(wifi_key_address, "pw");
    put_text(wifi_security_address, "wpa2");
    put_text(wifi_endpoint_address, "1.2.3.4,80");
    run_read();
    const auto result = workflow->after_poll();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->settings.ssid, "net");
    EXPECT_EQ(result->settings.key, "pw");
    EXPECT_EQ(result->settings.security, "WPA2");
    EXPECT_EQ(result->security_index, 7u);
    EXPECT_EQ(result->settings.endpoint, "1.2.3.4,80");
    EXPECT_FALSE(result->automatic);
    EXPECT_FALSE(workflow->after_poll());
}

TEST_F(wifi_workflow_test, AutomaticFlagStaysUntilThePlainRead) {
    workflow->start_read(true);
    run_read();
    const auto result = workflow->after_poll();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->automatic);
    EXPECT_EQ(result->settings.security, "AUTO"); // 0xFF bytes are no list entry
    EXPECT_TRUE(workflow->automatic());
    workflow->start_read(false);
    EXPECT_FALSE(workflow->automatic());
}

TEST_F(wifi_workflow_test, WriteSendsOneFrameOf279Bytes) {
    link->poll_link();
    link->poll_link();
    ASSERT_TRUE(port.open());
    const auto body = build_wifi_body({"WPA2", "net", "pw", std::string(default_server_endpoint)});
    link->send_packet(wifi_packet_type, body.bytes);
    ASSERT_EQ(port.bytes.sent().size(), 1u);
    const auto& frame = port.bytes.sent()[0];
    EXPECT_EQ(frame.size(), 279u);
    EXPECT_EQ(frame[4], 100);
    EXPECT_TRUE(std::equal(body.bytes.begin(), body.bytes.end(), frame.begin() + 21));
    EXPECT_EQ(field_text(body, 109, 147), default_server_endpoint);
}

} // namespace
} // namespace zev1
