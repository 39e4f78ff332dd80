// Starting, stopping, the state file and the command line.
#include "sim/sim_harness.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace zev1::simtest {
namespace {

namespace fs = std::filesystem;

bool link_exists(const std::string& path) {
    return fs::exists(fs::symlink_status(path));
}

TEST(SimLifecycle, QuitAndSignalsRemoveTheLink) {
    {
        sim_process sim;
        ASSERT_TRUE(link_exists(sim.link()));
        sim.command("quit");
        EXPECT_EQ(sim.wait_exit(), 0);
        EXPECT_FALSE(link_exists(sim.link()));
    }
    for (int sig : {SIGTERM, SIGINT}) {
        sim_process sim;
        ASSERT_TRUE(link_exists(sim.link()));
        sim.signal(sig);
        EXPECT_EQ(sim.wait_exit(), 0);
        EXPECT_FALSE(link_exists(sim.link()));
    }
}

TEST(SimLifecycle, EndOfInputKeepsRunningUnlessAskedToExit) {
    {
        sim_process sim;
        sim.close_stdin();
        EXPECT_EQ(sim.wait_exit(200ms), -1);
        client c(sim.link());
        c.send(make_frame(P_PING, frame_header{}));
        EXPECT_EQ(c.read(frame_overhead), make_frame(P_PING_A, sim_header));
    }
    sim_process sim({"--exit-on-eof"});
    sim.close_stdin();
    EXPECT_EQ(sim.wait_exit(), 0);
    EXPECT_FALSE(link_exists(sim.link()));
}

TEST(SimLifecycle, StateFileIsSavedAfterWritesAndLoadedAgain) {
    const std::string state =
        (fs::temp_directory_path() / ("zev1-sim-state-" + std::to_string(::getpid()) + ".bin"))
            .string();
    fs::remove(state);
    {
        sim_process sim({"--state", state, "--ssid", "First", "--key", "k1"});
        client c(sim.link());
        c.send(make_frame(P_BOOTLOADER_WRITE, sim_header,
                          concat(block_header(3, 0x7000), {0xAB, 0xCD, 0xEF})));
        EXPECT_EQ(c.read(frame_overhead + 12).size(), frame_overhead + 12);
        ASSERT_TRUE(sim.wait_line({"\"what\":\"block\""}));
        EXPECT_EQ(fs::file_size(state), 0x100000u);
        EXPECT_FALSE(fs::exists(state + ".tmp"));
    }
    {
        // Loaded: the stored key stays, the SSID given now replaces the stored one.
        sim_process sim({"--state", state, "--ssid", "Second"});
        EXPECT_TRUE(sim.wait_line({"\"event\":\"ready\"", "\"state_loaded\":true"}));
        client c(sim.link());
        c.send(make_frame(P_BOOTLOADER_READ, sim_header, block_header(3, 0x7000)));
        EXPECT_EQ(c.read(frame_overhead + 15),
                  make_frame(P_BOOTLOADER_READ_A, sim_header,
                             concat(block_header(3, 0x7000), {0xAB, 0xCD, 0xEF})));
        c.send(make_frame(P_BOOTLOADER_READ, sim_header, block_header(0x5332 - 0x530B, 0x530B)));
        const bytes answer = c.read(frame_overhead + 12 + 0x27);
        ASSERT_EQ(answer.size(), frame_overhead + 12 + 0x27);
        EXPECT_EQ(std::string(answer.begin() + 33, answer.begin() + 40),
                  std::string("Second\0", 7));
        EXPECT_EQ(std::string(answer.begin() + 33 + 0x21, answer.begin() + 33 + 0x24),
                  std::string("k1\0", 3));
    }
    fs::remove(state);
}

TEST(SimLifecycle, CommandLineIsChecked) {
    {
        sim_process sim({"--help"}, false);
        EXPECT_EQ(sim.wait_exit(), 0);
        const auto help = sim.lines();
        std::string all;
        for (const auto& l : help) {
            all += l + "\n";
        }
        for (const char* option :
             {"--link",       "--id",           "--ssid",          "--key",       "--security",
              "--endpoint",   "--state",        "--baud",          "--header",    "--exit-on-eof",
              "--silent",     "--drop-every",   "--corrupt-every", "--garbage",   "--wrong-address",
              "--short-read", "--echo-no-zero", "--echo-long",     "--long-text", "--delay",
              "unplug",       "replug",         "say TEXT",        "quit"}) {
            EXPECT_NE(all.find(option), std::string::npos) << option;
        }
    }
    for (std::vector<std::string> bad : {std::vector<std::string>{"--bogus"},
                                         {"--ssid", std::string(34, 's')},
                                         {"--baud", "fast"},
                                         {"--header", "00"},
                                         {"--drop-every"}}) {
        sim_process sim(bad, false);
        EXPECT_EQ(sim.wait_exit(), 2) << bad[0];
        EXPECT_FALSE(link_exists(sim.link()));
    }
}

TEST(SimLifecycle, BadCommandsAreReportedAndIgnored) {
    sim_process sim;
    sim.command("silent maybe");
    sim.command("fly away");
    sim.command("fly \xC3\xA4\xFF\x7F"); // bytes, not text: each one shows as itself
    EXPECT_TRUE(sim.wait_line({"\"error\":\"command\"", "\"line\":\"silent maybe\""}));
    EXPECT_TRUE(sim.wait_line({"\"error\":\"command\"", "\"line\":\"fly away\""}));
    EXPECT_TRUE(
        sim.wait_line({"\"error\":\"command\"", "\"line\":\"fly \\u00c3\\u00a4\\u00ff\\u007f\""}));
    client c(sim.link());
    c.send(make_frame(P_PING, frame_header{}));
    EXPECT_EQ(c.read(frame_overhead), make_frame(P_PING_A, sim_header));
}

TEST(SimLifecycle, ExistingFileAtTheLinkIsNotReplaced) {
    sim_process first;
    const std::string file = first.dir() + "/plain-file";
    std::ofstream(file) << "keep me";
    sim_process sim({"--link", file}, false);
    EXPECT_EQ(sim.wait_exit(), 1);
    std::ifstream in(file);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "keep me");
}

} // namespace
} // namespace zev1::simtest
