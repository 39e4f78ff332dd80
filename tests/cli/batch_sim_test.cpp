// zev1-wifi batch against several zev1-sim at once: mixed actions with faulty controllers
// among good ones, Ctrl+C in the middle, --watch with controllers plugged in one after
// another, and plans refused before any port is opened.
#include "cli/cli_process.h"
#include "support/sim_process.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace zev1 {
namespace {

using namespace std::chrono_literals;
using test::cli_process;
using test::cli_result;
using test::sim_process;
using json = nlohmann::json;
namespace fs = std::filesystem;

const fs::path cli_path = ZEV1_CLI_PATH;

std::string file_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The report's JSON lines: the units by port, and the summary (the last line).
struct report {
    std::map<std::string, json> units;
    json summary;
    std::size_t lines = 0;
};

report read_report(const std::string& out) {
    report r;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        ++r.lines;
        json j = json::parse(line);
        if (j.contains("port")) {
            r.units[j["port"].get<std::string>()] = j;
        } else {
            r.summary = j;
        }
    }
    return r;
}

// The text field of a type-100 body at its offset, up to its zero byte.
std::string body_text(const std::vector<std::uint8_t>& frame, std::size_t offset) {
    std::string text;
    for (std::size_t i = 21 + offset; i < frame.size() && frame[i] != 0; ++i) {
        text += static_cast<char>(frame[i]);
    }
    return text;
}

class batch_test : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir.empty()); }
    void TearDown() override { sims.clear(); }

    sim_process& add_sim(const std::string& ssid, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--ssid",     ssid,   "--key",      "old key",
                                         "--security", "wpa2", "--endpoint", "10.1.2.3,4000"};
        args.insert(args.end(), extra.begin(), extra.end());
        sims.push_back(std::make_unique<sim_process>(args));
        EXPECT_TRUE(sims.back()->wait_ready()) << "zev1-sim did not start";
        return *sims.back();
    }
    fs::path write(const std::string& name, const std::string& text) const {
        std::ofstream(dir / name, std::ios::binary) << text;
        return dir / name;
    }
    std::vector<std::string> batch(const fs::path& plan, std::vector<std::string> more) const {
        std::vector<std::string> args = {"--settings", (dir / "zev1-wifi.INI").native(), "batch",
                                         plan.native()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    static bool wait_for(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        return test::wait_until(done, limit, 2ms);
    }

    test::temp_folder folder{"zev1-batch"};
    fs::path dir = folder.path();
    std::vector<std::unique_ptr<sim_process>> sims;
};

TEST_F(batch_test, EveryUnitAtOnceAndEachOutcomeReported) {
    sim_process& a = add_sim("net-a");
    sim_process& w = add_sim("net-w");
    sim_process& r = add_sim("net-r");
    sim_process& silent = add_sim("net-s", {"--silent"});
    sim_process& pulled = add_sim("net-p");
    sim_process& noisy = add_sim("net-c", {"--corrupt-every", "60"});
    const fs::path key = write("key.txt", "from the key file\n");
    const fs::path plan = write(
        "plan.csv", "port,action,ssid,key,security,endpoint,label\n" + a.link() + ",auto,,,,,A\n" +
                        w.link() + ",write,plant,,wpa,\"10.9.9.9,7\",W\n" + r.link() +
                        ",read,,,,,R\n" + silent.link() + ",,,,,,S\n" + pulled.link() +
                        ",,,,,,P\n" + noisy.link() + ",auto,,,,\"other.host,1\",C\n");
    cli_process p(cli_path, dir,
                  batch(plan, {"--json", "--key-file", key.native(), "--junit",
                               (dir / "r.xml").native(), "--csv", (dir / "r.csv").native()}));
    // Pulled out in the middle of its read and plugged back a second later.
    ASSERT_TRUE(wait_for([&] { return pulled.frames("rx", 5).size() >= 8; }, 10s));
    pulled.command("unplug");
    std::this_thread::sleep_for(1s);
    pulled.command("replug");
    const cli_result res = p.wait(60s);
    ASSERT_EQ(res.status, 8) << res.err << res.out;
    const report rep = read_report(res.out);
    ASSERT_EQ(rep.units.size(), 6u) << res.out;
    EXPECT_EQ(rep.lines, 7u);
    EXPECT_EQ(rep.summary, json::parse("{\"ok\":5,\"failed\":1,\"seconds\":" +
                                       rep.summary["seconds"].dump() + "}"));

    const json& ja = rep.units.at(a.link());
    EXPECT_EQ(ja["status"], 0);
    EXPECT_EQ(ja["label"], "A");
    EXPECT_EQ(ja["id"], "ZEV1-SIM");
    EXPECT_EQ(ja["action"], "auto");
    EXPECT_EQ(ja["attempts"], 1);
    EXPECT_EQ(ja["written"], json::parse(R"({"ssid":"net-a","key":"***","security":"WPA2",
                                            "endpoint":"zev1.example,5555"})"));
    EXPECT_EQ(
        rep.units.at(w.link())["written"],
        json::parse(R"({"ssid":"plant","key":"***","security":"WPA","endpoint":"10.9.9.9,7"})"));
    const json& jr = rep.units.at(r.link());
    EXPECT_EQ(jr["status"], 0);
    EXPECT_TRUE(jr["written"].is_null());
    EXPECT_EQ(jr["read"]["ssid"], "net-r");
    EXPECT_EQ(jr["read"]["key"], "***");
    const json& js = rep.units.at(silent.link());
    EXPECT_EQ(js["status"], 4);
    EXPECT_EQ(js["ok"], false);
    EXPECT_EQ(js["attempts"], 2); // a time-out is tried again once
    EXPECT_NE(js["message"].get<std::string>().find("no answer"), std::string::npos);
    EXPECT_EQ(rep.units.at(pulled.link())["status"], 0) << rep.units.at(pulled.link());
    EXPECT_EQ(rep.units.at(noisy.link())["status"], 0) << rep.units.at(noisy.link());

    // What each controller received: one settings frame from write and auto, exact.
    auto settings_frames = [](sim_process& s) { return s.frames("rx", 100); };
    ASSERT_EQ(settings_frames(a).size(), 1u);
    EXPECT_EQ(body_text(settings_frames(a)[0].bytes, 109), "zev1.example,5555");
    EXPECT_EQ(body_text(settings_frames(a)[0].bytes, 44), "old key");
    ASSERT_EQ(settings_frames(w).size(), 1u);
    const auto& fw = settings_frames(w)[0].bytes;
    ASSERT_EQ(fw.size(), 279u);
    EXPECT_EQ(body_text(fw, 0), "WPA");
    EXPECT_EQ(body_text(fw, 10), "plant");
    EXPECT_EQ(body_text(fw, 44), "from the key file");
    EXPECT_EQ(body_text(fw, 109), "10.9.9.9,7");
    EXPECT_EQ(w.frames("rx", 5).size(), 128u); // read, and read back to verify
    EXPECT_TRUE(settings_frames(r).empty());
    EXPECT_TRUE(settings_frames(silent).empty());
    ASSERT_GE(settings_frames(pulled).size(), 1u);
    EXPECT_EQ(body_text(settings_frames(pulled).back().bytes, 10), "net-p");
    ASSERT_EQ(settings_frames(noisy).size(), 1u);
    EXPECT_EQ(body_text(settings_frames(noisy)[0].bytes, 109), "other.host,1");

    // The files for a quality system; no key in any report.
    const std::string xml = file_text(dir / "r.xml");
    EXPECT_NE(xml.find("tests=\"6\" failures=\"1\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<testcase name=\"S\""), std::string::npos);
    const std::string csv = file_text(dir / "r.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 7);
    for (const std::string* text : {&res.out, &xml, &csv}) {
        EXPECT_EQ(text->find("from the key file"), std::string::npos);
        EXPECT_EQ(text->find("old key"), std::string::npos);
    }
}

TEST_F(batch_test, CtrlCEndsTheUnitsInProgressAndSaysWhatWasWritten) {
    sim_process& slow = add_sim("net-slow", {"--baud", "115200", "--delay", "30"});
    sim_process& w = add_sim("net-w");
    const fs::path plan = write("plan.csv", "port,action,ssid\n" + slow.link() + ",read\n" +
                                                w.link() + ",write,changed\n");
    cli_process p(cli_path, dir, batch(plan, {"--json"}));
    ASSERT_TRUE(wait_for([&] { return !w.frames("rx", 100).empty(); }, 15s));
    p.signal(SIGINT);
    const cli_result res = p.wait(10s);
    ASSERT_EQ(res.status, 130) << res.err;
    const report rep = read_report(res.out);
    ASSERT_EQ(rep.units.size(), 2u) << res.out;
    EXPECT_EQ(rep.units.at(slow.link())["status"], 130);
    EXPECT_TRUE(rep.units.at(slow.link())["written"].is_null());
    EXPECT_EQ(rep.units.at(w.link())["status"], 130);
    EXPECT_EQ(rep.units.at(w.link())["written"]["ssid"], "changed");
    EXPECT_EQ(rep.summary["failed"], 2);
    const auto frames = w.frames("rx", 100);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes.size(), 279u); // whole
}

TEST_F(batch_test, WatchSetsUpEachControllerThatIsPluggedInOnce) {
    // A copy of the program whose ports/ folder is the hub.
    const fs::path bin = dir / "bin";
    fs::create_directories(bin / "ports");
    fs::copy_file(cli_path, bin / "zev1-wifi");
    sim_process& first = add_sim("first");
    sim_process& named = add_sim("named");
    sim_process& next = add_sim("next");
    const fs::path plan = write("plan.csv", "port,action,label\n*,auto,line 3\nSPARE,read,bench\n");
    cli_process p(bin / "zev1-wifi", dir, batch(plan, {"--watch", "--count", "4", "--json"}));
    std::this_thread::sleep_for(500ms);
    fs::create_symlink(first.link(), bin / "ports" / "HUB1");
    ASSERT_TRUE(wait_for([&] { return first.frames("rx", 5).size() >= 128; }, 20s));
    fs::create_symlink(named.link(), bin / "ports" / "SPARE");
    ASSERT_TRUE(wait_for([&] { return named.frames("rx", 5).size() >= 64; }, 20s));
    // Still plugged in: not set up again. Pulled and plugged in again: set up anew.
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(first.frames("rx", 100).size(), 1u);
    fs::remove(bin / "ports" / "HUB1");
    std::this_thread::sleep_for(700ms);
    fs::create_symlink(first.link(), bin / "ports" / "HUB1");
    ASSERT_TRUE(wait_for([&] { return first.frames("rx", 100).size() >= 2; }, 20s));
    // Another controller behind the same name with no scan seeing it gone (the kernel
    // gives a freed ttyUSB name to the next adapter): set up too.
    fs::create_symlink(next.link(), bin / "ports" / "HUB1.new");
    fs::rename(bin / "ports" / "HUB1.new", bin / "ports" / "HUB1");
    const cli_result res = p.wait(30s);
    ASSERT_EQ(res.status, 0) << res.err << res.out;
    EXPECT_EQ(first.frames("rx", 100).size(), 2u);
    EXPECT_EQ(next.frames("rx", 100).size(), 1u);
    EXPECT_TRUE(named.frames("rx", 100).empty());
    std::istringstream lines(res.out);
    std::vector<json> units;
    for (std::string line; std::getline(lines, line);) {
        units.push_back(json::parse(line));
    }
    ASSERT_EQ(units.size(), 5u) << res.out;
    EXPECT_EQ(units[0]["port"], "HUB1");
    EXPECT_EQ(units[0]["label"], "line 3");
    EXPECT_EQ(units[1]["port"], "SPARE");
    EXPECT_EQ(units[1]["action"], "read");
    EXPECT_EQ(units[2]["port"], "HUB1");
    EXPECT_EQ(units[3]["port"], "HUB1");
    EXPECT_EQ(units[3]["written"]["ssid"], "next");
    EXPECT_EQ(units[4]["ok"], 4);
}

TEST_F(batch_test, ARefusedPlanOpensNoPort) {
    sim_process& s = add_sim("net");
    struct refused {
        std::string plan;
        int status;
        std::string says;
    };
    const std::vector<refused> cases = {
        {"port,action,ssid\n" + s.link() + ",write," + std::string(40, 'x') + "\n", 7,
         "line 2, column ssid"},
        {"port\n" + s.link() + "\n" + s.link() + "\n", 2, "line 3, column port"},
        {"port,speed\n" + s.link() + ",9600\n", 2, "unknown column"},
    };
    for (const refused& c : cases) {
        const cli_result r = test::run_cli(cli_path, dir, batch(write("plan.csv", c.plan), {}));
        EXPECT_EQ(r.status, c.status) << c.plan;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    const cli_result missing = test::run_cli(cli_path, dir, batch(dir / "none.csv", {}));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(s.count_lines("peer-open"), 0u);

    const cli_result help = test::run_cli(cli_path, dir, {"batch", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--watch"), std::string::npos);
    EXPECT_NE(help.out.find("8 some failed"), std::string::npos) << help.out;
}

} // namespace
} // namespace zev1
