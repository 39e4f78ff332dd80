// The real serial port, the link, the sequencer and the WiFi workflow against zev1-sim on
// a pseudo-terminal, driven by a 10 ms tick loop with recorders in place of the windows.
#include "log/message_text.h"
#include "memory/wifi_settings.h"
#include "serial/port_namespace.h"
#include "serial/serial.h"
#include "support/link_stack.h"
#include "support/sim_process.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zev1 {
namespace {

using test::sim_frame;
using test::sim_process;

const frame_header sim_header = {0xC3, 0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                                 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0xA5, 0x3C};

// The simulator's link as the only port there is.
class single_port_namespace final : public port_namespace {
public:
    std::string link;
    std::vector<std::string> candidates() override { return {link}; }
    probe_result probe(std::string_view name) override { return probe_port(name); }
};

block_header request_of(const sim_frame& f) {
    std::array<std::uint8_t, block_header::size> raw{};
    if (f.bytes.size() >= 21 + raw.size()) {
        std::copy_n(f.bytes.begin() + 21, raw.size(), raw.begin());
    }
    return block_header::decode(raw);
}

frame_header header_of(const sim_frame& f) {
    frame_header h{};
    if (f.bytes.size() >= 21) {
        std::copy_n(f.bytes.begin() + 5, h.size(), h.begin());
    }
    return h;
}

class link_sim_test : public ::testing::Test, protected link_stack {
protected:
    void start(std::vector<std::string> args = {}) {
        std::vector<std::string> all = {"--ssid",     "cellar-net", "--key",      "s3cret pass",
                                        "--security", "wpa2",       "--endpoint", "10.1.2.3,4000"};
        all.insert(all.end(), args.begin(), args.end());
        sim = std::make_unique<sim_process>(all);
        ASSERT_TRUE(sim->wait_ready()) << "zev1-sim did not start";
        names.link = sim->link();
        port = std::make_unique<serial>(names);
        build_stack(*port, sim->link(), true,
                    std::filesystem::path(sim->link()).parent_path() / "test.INI");
        workflow = std::make_unique<wifi_workflow>(*flash);
    }
    void TearDown() override {
        workflow.reset();
        take_down_stack();
        port.reset();
        sim.reset();
    }

    void tick() {
        ++ticks;
        const std::size_t before = log.packets.size();
        poll();
        for (std::size_t i = before; i < log.packets.size(); ++i) {
            if (!log.packets[i].received) {
                sent_ticks.emplace_back(ticks, log.packets[i].type());
            }
        }
        open_per_tick.push_back(port->is_open());
        if (auto r = workflow->after_poll()) {
            results.push_back(*r);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    bool run_until(const std::function<bool()>& done, int max_ticks) {
        for (int i = 0; i < max_ticks; ++i) {
            if (done()) {
                return true;
            }
            tick();
        }
        return done();
    }
    void connect() {
        ASSERT_TRUE(run_until([&] { return link->device_text() == "ZEV1-SIM"; }, 300));
    }

    std::unique_ptr<sim_process> sim;
    single_port_namespace names;
    std::unique_ptr<serial> port;
    std::unique_ptr<wifi_workflow> workflow;
    int ticks = 0;
    std::vector<std::pair<int, std::uint8_t>> sent_ticks;
    std::vector<bool> open_per_tick;
    std::vector<wifi_workflow::read_result> results;
};

TEST_F(link_sim_test, FirstTicksIdentificationAndHeaderEcho) {
    start();
    tick();
    EXPECT_TRUE(port->port_selected());
    EXPECT_FALSE(port->is_open());
    tick();
    EXPECT_TRUE(port->is_open());
    EXPECT_TRUE(sent_ticks.empty());
    tick();
    ASSERT_EQ(sent_ticks.size(), 1u);
    EXPECT_EQ(sent_ticks[0], std::make_pair(3, std::uint8_t{P_ECHO}));
    connect();
    EXPECT_EQ(link->port_state_line(), sim->link() + " open  ZEV1-SIM");
    EXPECT_EQ(link->header(), sim_header);
    EXPECT_EQ(counter.shown.front(), "0");
    ASSERT_TRUE(run_until([&] { return !sim->frames("rx", P_PING).empty(); }, 120));
    const auto pings = sim->frames("rx", P_PING);
    EXPECT_EQ(header_of(pings[0]), sim_header);
    EXPECT_EQ(sim->frames("rx", P_ECHO).size(), 1u);
}

TEST_F(link_sim_test, SilentSimulatorIsClosedAndReopenedAgainAndAgain) {
    start({"--silent"});
    run_until([] { return false; }, 160);
    std::vector<int> echoes;
    for (const auto& [t, type] : sent_ticks) {
        EXPECT_EQ(type, P_ECHO);
        echoes.push_back(t);
    }
    EXPECT_EQ(echoes, (std::vector<int>{3, 54, 105, 156}));
    // Open from tick 2, closed in tick 52, open again in tick 53.
    EXPECT_TRUE(open_per_tick[1]);
    EXPECT_TRUE(open_per_tick[50]);
    EXPECT_FALSE(open_per_tick[51]);
    EXPECT_TRUE(open_per_tick[52]);
    EXPECT_FALSE(open_per_tick[102]);
    EXPECT_TRUE(open_per_tick[103]);
    EXPECT_EQ(sim->frames("rx", P_ECHO).size(), 4u);
}

TEST_F(link_sim_test, UnplugAndReplugComeBackWithoutAction) {
    start();
    connect();
    sim->command("unplug");
    ASSERT_TRUE(run_until([&] { return link->device_text().empty(); }, 300));
    run_until([] { return false; }, 30);
    sim->command("replug");
    ASSERT_TRUE(run_until([&] { return link->device_text() == "ZEV1-SIM"; }, 300));
    EXPECT_TRUE(port->is_open());
}

TEST_F(link_sim_test, SettingsBlockReadIn64RequestsFillsTheFields) {
    start();
    connect();
    workflow->start_read(false);
    ASSERT_TRUE(run_until([&] { return !results.empty(); }, 1500));
    const auto requests = sim->frames("rx", P_BOOTLOADER_READ);
    ASSERT_EQ(requests.size(), 64u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const auto head = request_of(requests[i]);
        EXPECT_EQ(head.address, 0x5000u + 256u * i);
        EXPECT_EQ(head.length, 256u);
        EXPECT_EQ(header_of(requests[i]), sim_header);
    }
    const auto& r = results[0];
    EXPECT_EQ(r.settings.ssid, "cellar-net");
    EXPECT_EQ(r.settings.key, "s3cret pass");
    EXPECT_EQ(r.settings.security, "WPA2");
    EXPECT_EQ(r.security_index, 7u);
    EXPECT_EQ(r.settings.endpoint, "10.1.2.3,4000");
    EXPECT_TRUE(progress.errors.empty());
    EXPECT_EQ(progress.percents.back(), 99u);
}

TEST_F(link_sim_test, DroppedAnswersAreRepeatedAndTheReadCompletes) {
    start({"--drop-every", "25"});
    connect();
    workflow->start_read(false);
    ASSERT_TRUE(run_until([&] { return !results.empty(); }, 1500));
    EXPECT_GT(sim->frames("rx", P_BOOTLOADER_READ).size(), 64u);
    EXPECT_GE(flash->timeouts(), 1u);
    EXPECT_TRUE(progress.errors.empty());
    EXPECT_EQ(results[0].settings.ssid, "cellar-net");
    EXPECT_EQ(results[0].settings.endpoint, "10.1.2.3,4000");
}

TEST_F(link_sim_test, FiveTimeOutsAbortWithOneErrorBox) {
    start();
    connect();
    sim->command("silent on");
    run_until([] { return false; }, 5);
    workflow->start_read(false);
    ASSERT_TRUE(run_until([&] { return !results.empty(); }, 700));
    EXPECT_EQ(progress.errors, (std::vector<std::string>{message_text(2)}));
    EXPECT_EQ(flash->timeouts(), 5u);
    run_until([] { return false; }, 20);
    EXPECT_EQ(progress.errors.size(), 1u);
}

TEST_F(link_sim_test, CancelMidReadEndsWithoutErrorBox) {
    start();
    connect();
    workflow->start_read(false);
    ASSERT_TRUE(run_until([&] { return sim->frames("rx", P_BOOTLOADER_READ).size() >= 10; }, 500));
    progress.cancel = true;
    ASSERT_TRUE(run_until([&] { return !results.empty(); }, 300));
    EXPECT_LT(sim->frames("rx", P_BOOTLOADER_READ).size(), 64u);
    EXPECT_TRUE(progress.errors.empty());
    EXPECT_FALSE(progress.shows.back().visible);
}

TEST_F(link_sim_test, AutomaticSettingSendsOneFrameWithTheDefaultEndpoint) {
    start();
    connect();
    workflow->start_read(true);
    ASSERT_TRUE(run_until([&] { return !results.empty(); }, 1500));
    ASSERT_TRUE(results[0].automatic);
    wifi_settings s = results[0].settings;
    s.endpoint = std::string(default_server_endpoint);
    const auto body = build_wifi_body(s);
    link->send_packet(wifi_packet_type, body.bytes);
    EXPECT_TRUE(body.cuts.empty());
    ASSERT_TRUE(run_until([&] { return !sim->frames("rx", P_WIFI_SETTINGS).empty(); }, 100));
    run_until([] { return false; }, 20);
    const auto writes = sim->frames("rx", P_WIFI_SETTINGS);
    ASSERT_EQ(writes.size(), 1u);
    const auto& f = writes[0].bytes;
    ASSERT_EQ(f.size(), 279u);
    EXPECT_EQ(header_of(writes[0]), sim_header);
    auto text_at = [&](std::size_t offset, std::size_t room) {
        const auto begin = f.begin() + 21 + static_cast<std::ptrdiff_t>(offset);
        return std::string(begin, std::find(begin, begin + static_cast<std::ptrdiff_t>(room), 0));
    };
    EXPECT_EQ(text_at(0, 10), "WPA2");
    EXPECT_EQ(text_at(10, 34), "cellar-net");
    EXPECT_EQ(text_at(44, 65), "s3cret pass");
    EXPECT_EQ(text_at(109, 147), default_server_endpoint);
}

TEST_F(link_sim_test, GarbageAndCorruptedFramesResynchronise) {
    start();
    connect();
    sim->command("garbage 40");
    sim->command("say after garbage");
    ASSERT_TRUE(run_until(
        [&] {
            return std::find(log.texts.begin(), log.texts.end(), "after garbage") !=
                   log.texts.end();
        },
        200));
    // A corrupted answer: counted, not dispatched, and later frames still get through.
    auto received = [&] {
        return std::count_if(log.packets.begin(), log.packets.end(),
                             [](const auto& p) { return p.received; });
    };
    const auto shown_before = static_cast<std::ptrdiff_t>(counter.shown.size());
    const auto received_before = received();
    sim->command("corrupt 1");
    ASSERT_TRUE(run_until(
        [&] {
            return sim->count_lines([](std::string_view l) {
                return l.find("\"fault\":\"corrupt\"") != l.npos;
            }) > 0;
        },
        100));
    sim->command("corrupt 0");
    sim->command("say resynced");
    ASSERT_TRUE(run_until(
        [&] {
            return std::find(log.texts.begin(), log.texts.end(), "resynced") != log.texts.end();
        },
        300));
    const auto shown_delta = static_cast<std::ptrdiff_t>(counter.shown.size()) - shown_before;
    EXPECT_GT(shown_delta, received() - received_before);
    // And the link still carries a transfer.
    flash->start_read(Tsegment::single(0x5300, 0x100), false);
    ASSERT_TRUE(run_until([&] { return !flash->is_busy(); }, 300));
    EXPECT_EQ(flash->image().read_text(wifi_ssid_address, wifi_ssid_room), "cellar-net");
    EXPECT_TRUE(progress.errors.empty());
}

} // namespace
} // namespace zev1
