// The verdicts the window and zev1-wifi take from the session: how a read ended and
// whether the settings frame reached the port.
#include "session/wifi_session.h"
#include "support/fake_link_port.h"
#include "support/recording_views.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace zev1 {
namespace {

struct recording_drops final : dropped_frame_view {
    std::vector<std::pair<std::uint8_t, drop_reason>> drops;
    void frame_dropped(std::uint8_t type, drop_reason why) override {
        drops.emplace_back(type, why);
    }
};

class wifi_session_test : public ::testing::Test {
protected:
    wifi_session_test()
        : ini_path(std::filesystem::path(::testing::TempDir()) / "wifi_session_test.INI") {
        std::filesystem::remove(ini_path);
        settings.emplace(ini_path);
        settings->WriteString("com", "com", "COM5");
        settings->WriteBool("com", "open", true);
        port.present.insert("COM5");
        session.emplace(port, *settings, log, counter, progress);
        session->set_dropped_frame_view(&drops);
    }
    ~wifi_session_test() override {
        session.reset();
        settings.reset();
        std::filesystem::remove(ini_path);
    }
    // Ticks until a read ends; its outcome. cancel: Cancel pressed once the read shows.
    std::optional<wifi_session::read_outcome> run_read(bool automatic, bool cancel = false) {
        session->start_read(automatic);
        progress.cancel = cancel;
        for (int i = 0; i < 2000; ++i) {
            if (auto done = session->tick()) {
                return done;
            }
        }
        return std::nullopt;
    }
    void open_port() {
        for (int i = 0; i < 5 && !port.open(); ++i) {
            session->tick();
        }
        ASSERT_TRUE(port.open());
    }

    std::filesystem::path ini_path;
    fake_link_port port;
    std::optional<Tini_file> settings;
    recording_log log;
    recording_counter counter;
    recording_progress progress;
    recording_drops drops;
    std::optional<wifi_session> session;
};

TEST_F(wifi_session_test, ReadsThatEndShortAreNotComplete) {
    open_port();
    // Nobody answers: the fifth time-out aborts the read.
    const auto aborted = run_read(true);
    ASSERT_TRUE(aborted);
    EXPECT_EQ(aborted->end, wifi_session::read_end::aborted);
    EXPECT_FALSE(aborted->complete());
    EXPECT_TRUE(aborted->automatic);
    EXPECT_FALSE(session->read_running());
    // Cancel before the first block: ended short, but no time-out counted.
    const auto cancelled = run_read(false, true);
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(cancelled->end, wifi_session::read_end::cancelled);
    EXPECT_FALSE(cancelled->automatic);
}

TEST_F(wifi_session_test, SettingsAreWrittenOnlyWhenThePortTakesTheirFrame) {
    const wifi_settings good{"wpa2", "net", "pw", "host,5555"};
    // No port open yet: dropped at once, the view told, the verdict says why.
    auto verdict = session->send_settings(good);
    EXPECT_EQ(verdict.state, wifi_session::write_state::dropped);
    EXPECT_EQ(session->dropped_reason(), drop_reason::port_closed);
    ASSERT_EQ(drops.drops.size(), 1U);
    EXPECT_EQ(drops.drops[0].first, wifi_packet_type);

    open_port();
    // Too long: refused whole, nothing reaches the port.
    const auto sent_before = port.bytes.sent().size();
    verdict = session->send_settings({"WPA2", std::string(34, 'n'), "pw", ""});
    EXPECT_EQ(verdict.state, wifi_session::write_state::refused);
    ASSERT_EQ(verdict.too_long.size(), 1U);
    EXPECT_EQ(verdict.too_long[0].limit, wifi_ssid_limit);
    EXPECT_EQ(port.bytes.sent().size(), sent_before);

    // The port busy: pending until a later tick hands the frame over.
    port.bytes.refuse_next_send();
    verdict = session->send_settings(good);
    EXPECT_EQ(verdict.state, wifi_session::write_state::pending);
    session->tick();
    EXPECT_EQ(session->settings_write(), wifi_session::write_state::written);
    const auto sent = port.bytes.sent();
    const auto frame = std::find_if(sent.begin() + static_cast<std::ptrdiff_t>(sent_before),
                                    sent.end(), [](const auto& f) { return f.size() > 25; });
    ASSERT_NE(frame, sent.end());
    EXPECT_EQ((*frame)[4], wifi_packet_type);
    EXPECT_EQ(std::string(frame->begin() + 21, frame->begin() + 25), "wpa2"); // as given
    EXPECT_EQ(drops.drops.size(), 1U);

    // Another frame that the port takes while the settings frame waits behind it is not
    // the settings frame.
    port.bytes.refuse_sends(true);
    session->link().send_packet(P_ECHO, {});
    EXPECT_EQ(session->send_settings(good).state, wifi_session::write_state::pending);
    port.bytes.refuse_sends_after(1);
    session->tick();
    EXPECT_EQ(session->settings_write(), wifi_session::write_state::pending);
    port.bytes.refuse_sends(false);
    session->tick();
    EXPECT_EQ(session->settings_write(), wifi_session::write_state::written);
}

} // namespace
} // namespace zev1
