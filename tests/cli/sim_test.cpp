// zev1-wifi run as a program against zev1-sim on a pseudo-terminal: every command and
// every exit status, and the bytes it puts on the wire.
#include "cli/cli_process.h"
#include "support/sim_process.h"
#include "support/wait_until.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace zev1 {
namespace {

using ::testing::HasSubstr;

using namespace std::chrono_literals;
using test::cli_process;
using test::cli_result;
using test::sim_frame;
using test::sim_process;

const std::filesystem::path cli_path = ZEV1_CLI_PATH;

constexpr std::array<std::uint8_t, 16> sim_header = {
    0xC3, 0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0xA5, 0x3C};

std::string file_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t lines_in(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

class cli_sim_test : public ::testing::Test {
protected:
    void start(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--ssid",     "cellar-net", "--key",      "s3cret pass",
                                         "--security", "wpa2",       "--endpoint", "10.1.2.3,4000"};
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<sim_process>(args);
        ASSERT_TRUE(sim->wait_ready()) << "zev1-sim did not start";
        dir = std::filesystem::path(sim->link()).parent_path();
        settings = dir / "zev1-wifi.INI";
    }

    std::vector<std::string> with_settings(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--settings", settings.native()});
        return args;
    }
    cli_result cli(std::vector<std::string> args, std::chrono::milliseconds limit = 20s) const {
        return test::run_cli(cli_path, dir, with_settings(std::move(args)), limit);
    }
    std::unique_ptr<cli_process> cli_async(std::vector<std::string> args) const {
        return std::make_unique<cli_process>(cli_path, dir, with_settings(std::move(args)));
    }
    // Waits until the simulator has received n frames of a type.
    bool wait_rx(int type, std::size_t n, std::chrono::milliseconds limit = 10s) const {
        return test::wait_until([&] { return sim->frames("rx", type).size() >= n; }, limit);
    }

    std::unique_ptr<sim_process> sim;
    std::filesystem::path dir;
    std::filesystem::path settings;
};

TEST(cli_usage_test, HelpAndBadCommandLines) {
    const auto dir = std::filesystem::temp_directory_path();
    cli_result help = test::run_cli(cli_path, dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("Usage: zev1-wifi"));
    EXPECT_THAT(help.out, HasSubstr("Exit status"));
    cli_result write_help = test::run_cli(cli_path, dir, {"write", "--help"});
    EXPECT_EQ(write_help.status, 0);
    EXPECT_THAT(write_help.out, HasSubstr("--endpoint"));

    const std::vector<std::vector<std::string>> bad = {
        {},
        {"fetch"},
        {"read", "--bogus"},
        {"read", "--ssid", "x"},
        {"read", "--port"},
        {"read", "write"},
        {"read", "--verify"},
        {"write", "--json=1"},
    };
    for (const auto& args : bad) {
        cli_result r = test::run_cli(cli_path, dir, args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args.front());
        EXPECT_EQ(lines_in(r.err), 1u) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST_F(cli_sim_test, ReadPrintsTheSettingsAndRemembersThePort) {
    start();
    cli_result r = cli({"read", "--port", sim->link()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "id: ZEV1-SIM\nssid: cellar-net\nkey: s3cret pass\nsecurity: WPA2\n"
                     "endpoint: 10.1.2.3,4000\n");
    EXPECT_TRUE(r.err.empty()) << r.err; // no terminal: no progress bar
    EXPECT_THAT(file_text(settings), HasSubstr("com=" + sim->link()));

    // 64 requests of 256 bytes from 0x5000 up, each echoing the simulator's header.
    const auto requests = sim->frames("rx", 5);
    ASSERT_EQ(requests.size(), 64u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const auto& b = requests[i].bytes;
        ASSERT_EQ(b.size(), 35u);
        EXPECT_EQ(le32(b, 21), 256u);
        EXPECT_EQ(le32(b, 25), 0x5000u + 256u * i);
        EXPECT_EQ(le32(b, 29), 0u);
        EXPECT_TRUE(std::equal(sim_header.begin(), sim_header.end(), b.begin() + 5));
    }
    EXPECT_TRUE(sim->frames("rx", 100).empty());

    // Without --port: the remembered one.
    cli_result again = cli({"read", "--json"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "{\"id\":\"ZEV1-SIM\",\"ssid\":\"cellar-net\",\"key\":\"s3cret pass\","
                         "\"security\":\"WPA2\",\"endpoint\":\"10.1.2.3,4000\"}\n");
}

TEST_F(cli_sim_test, JsonEscapesQuotesBackslashesAndControlCharacters) {
    start({"--ssid", "say \"hi\"\\", "--key", "tab\there", "--id",
           "K\xC3\xBC"
           "che\x01"});
    cli_result r = cli({"read", "--port", sim->link(), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"id\":\"K\xC3\xBC"
              "che\\u0001\",\"ssid\":\"say \\\"hi\\\"\\\\\","
              "\"key\":\"tab\\there\",\"security\":\"WPA2\",\"endpoint\":\"10.1.2.3,4000\"}\n");
    cli_result plain = cli({"read", "--port", sim->link()});
    EXPECT_THAT(plain.out, HasSubstr("key: tab\\x09here\n"));
}

TEST_F(cli_sim_test, AbsentPortIsStatus3) {
    start();
    cli_result r = cli({"read", "--port", (dir / "nothing-here").native()});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(lines_in(r.err), 1u) << r.err;
    EXPECT_THAT(r.err, HasSubstr("nothing-here"));
    EXPECT_EQ(sim->count_lines("peer-open"), 0u);
}

TEST_F(cli_sim_test, SilentControllerIsStatus4AfterThreeSeconds) {
    start({"--silent"});
    const auto t0 = std::chrono::steady_clock::now();
    cli_result r = cli({"read", "--port", sim->link()});
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(lines_in(r.err), 1u) << r.err;
    EXPECT_THAT(r.err, HasSubstr("no answer"));
    // 300 ticks of 10 ms on absolute deadlines: neither fast nor drifting far.
    EXPECT_GE(took, 3000ms);
    EXPECT_LT(took, 4500ms);
    // Only keep-alive echoes went out, all on one open of the port: reopening a silent
    // port would pulse the controller's modem lines each time.
    EXPECT_EQ(sim->count_lines("peer-open"), 1u);
    const auto rx = sim->frames("rx");
    EXPECT_GE(rx.size(), 5u);
    EXPECT_LE(rx.size(), 7u);
    for (const auto& f : rx) {
        EXPECT_EQ(f.type, 3);
    }
}

TEST_F(cli_sim_test, UnplugDuringReadIsStatus5) {
    start();
    auto p = cli_async({"read", "--port", sim->link()});
    ASSERT_TRUE(wait_rx(5, 8));
    sim->command("unplug");
    cli_result r = p->wait(15s);
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(lines_in(r.err), 1u) << r.err;
    EXPECT_THAT(r.err, HasSubstr("aborted"));
    EXPECT_TRUE(r.out.empty());
}

// A cable pulled in the middle of an answer, or near its end, and plugged back within
// the time-out budget: the read goes on and ends with the exact settings, whatever part
// of the cut answer arrived before the cut.
TEST_F(cli_sim_test, CablePulledInTheMiddleOfAnAnswerIsSurvived) {
    start({"--cut", "6 10 145 unplug 1000"});
    const std::string expected = "id: ZEV1-SIM\nssid: cellar-net\nkey: s3cret pass\n"
                                 "security: WPA2\nendpoint: 10.1.2.3,4000\n";
    cli_result r = cli({"read", "--port", sim->link()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    ASSERT_EQ(sim->count_lines("\"event\":\"cut\""), 1u);

    sim->command("cut 6 30 280 unplug 300");
    r = cli({"read", "--port", sim->link()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
}

TEST_F(cli_sim_test, CtrlCDuringReadIsStatus130AndKeepsTheSettings) {
    start();
    auto p = cli_async({"read", "--port", sim->link()});
    ASSERT_TRUE(wait_rx(5, 5));
    p->signal(SIGINT);
    cli_result r = p->wait(5s);
    EXPECT_EQ(r.status, 130);
    EXPECT_TRUE(r.out.empty());
    EXPECT_THAT(file_text(settings), HasSubstr("com=" + sim->link()));
}

TEST_F(cli_sim_test, TooLongFieldIsStatus7AndNothingIsSent) {
    start();
    const std::vector<std::pair<std::string, std::string>> too_long = {
        {"--ssid", std::string(34, 's')},
        {"--key", std::string(65, 'k')},
        {"--security", "WPA2WPA2WP"},
        {"--endpoint", std::string(147, 'e')},
        {"--ssid", std::string(32, 's') + "\xC3\xA9"}, // 34 bytes, the last character split
    };
    for (const auto& [option, value] : too_long) {
        cli_result r = cli({"write", "--port", sim->link(), option, value});
        EXPECT_EQ(r.status, 7) << option;
        EXPECT_EQ(lines_in(r.err), 1u) << r.err;
    }
    EXPECT_TRUE(sim->frames("rx").empty());
}

TEST_F(cli_sim_test, WriteVerifyReplacesOnlyTheGivenFields) {
    start();
    const std::string ssid(33, 'N'); // the longest that fits
    cli_result r =
        cli({"write", "--port", sim->link(), "--ssid", ssid, "--security", "wpaaes", "--verify"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "id: ZEV1-SIM\nssid: " + ssid +
                         "\nkey: s3cret pass\nsecurity: WPAAES\nendpoint: 10.1.2.3,4000\n");
    const auto writes = sim->frames("rx", 100);
    ASSERT_EQ(writes.size(), 1u);
    // Read, write, read back.
    EXPECT_EQ(sim->frames("rx", 5).size(), 128u);

    cli_result back = cli({"read"});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(back.out, r.out);
}

TEST_F(cli_sim_test, VerifyFindsSettingsTheControllerDidNotTake) {
    start();
    auto p = cli_async({"write", "--port", sim->link(), "--ssid", "other", "--verify"});
    // Hold back the last read answer, and let the settings frame go unheeded.
    ASSERT_TRUE(wait_rx(5, 63));
    sim->command("delay 300");
    ASSERT_TRUE(wait_rx(5, 64));
    sim->command("silent on");
    ASSERT_TRUE(wait_rx(100, 1));
    sim->command("silent off");
    sim->command("delay 0");
    cli_result r = p->wait(20s);
    EXPECT_EQ(r.status, 6) << r.err;
    EXPECT_EQ(lines_in(r.err), 1u) << r.err;
    EXPECT_THAT(r.err, HasSubstr("ssid"));
}

TEST_F(cli_sim_test, AutoSendsOneFrameWithTheDefaultEndpoint) {
    start();
    cli_result r = cli({"auto", "--port", sim->link(), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("\"endpoint\":\"zev1.example,5555\""));
    EXPECT_EQ(sim->frames("rx", 5).size(), 64u);
    const auto writes = sim->frames("rx", 100);
    ASSERT_EQ(writes.size(), 1u);
    const auto& f = writes.front().bytes;
    ASSERT_EQ(f.size(), 279u);

    // The frame, built here from its layout.
    std::vector<std::uint8_t> want = {0x28, 0x93, 0x01, 0x17, 100};
    want.insert(want.end(), sim_header.begin(), sim_header.end());
    std::array<std::uint8_t, 256> body{};
    auto put = [&body](std::size_t at, std::string_view text) {
        std::copy(text.begin(), text.end(), body.begin() + static_cast<std::ptrdiff_t>(at));
    };
    put(0, "WPA2");
    put(10, "cellar-net");
    put(44, "s3cret pass");
    put(109, "zev1.example,5555");
    want.insert(want.end(), body.begin(), body.end());
    const auto check =
        static_cast<std::uint16_t>(0xFFFF - std::accumulate(want.begin(), want.end(), 0U));
    want.push_back(static_cast<std::uint8_t>(check >> 8));
    want.push_back(static_cast<std::uint8_t>(check & 0xFF));
    EXPECT_EQ(f, want);
}

TEST_F(cli_sim_test, PortsFolderAndSettingsFileNextToTheProgram) {
    start();
    // A copy of the program in a folder of its own, with the simulator in its ports/.
    const auto bin = dir / "bin";
    std::filesystem::create_directories(bin / "ports");
    std::filesystem::copy_file(cli_path, bin / "zev1-wifi");
    std::filesystem::create_symlink(sim->link(), bin / "ports" / "ZEV1");

    cli_result ports = test::run_cli(bin / "zev1-wifi", dir, {"ports"});
    ASSERT_EQ(ports.status, 0) << ports.err;
    const std::string target = sim->link();
    EXPECT_THAT("\n" + ports.out, HasSubstr("\nZEV1  link to " + target + "\n"));
    cli_result listed = test::run_cli(bin / "zev1-wifi", dir, {"ports", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_THAT(listed.out,
                HasSubstr("{\"name\":\"ZEV1\",\"description\":\"link to " + target + "\""));

    cli_result first = test::run_cli(bin / "zev1-wifi", dir, {"read", "--port", "ZEV1"});
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string ini = file_text(bin / "zev1-wifi.INI");
    EXPECT_THAT(ini, HasSubstr("[com]"));
    EXPECT_THAT(ini, HasSubstr("com=ZEV1"));
    EXPECT_THAT(ini, HasSubstr("level=5"));

    cli_result second = test::run_cli(bin / "zev1-wifi", dir, {"read"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, first.out);
}

} // namespace
} // namespace zev1
