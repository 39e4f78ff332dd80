// batch_speed: what setting up many controllers at once costs against setting up one.
//
// For 1, 4, 8 and 16 zev1-sim paced at 115200 baud, runs `zev1-wifi batch` with a plan
// that puts `auto` (read, write, read back) on every one of them, in one run, and prints
// side by side the batch's time, its ratio to the time of one unit, the CPU time the
// batch process used per unit and its peak memory, and the time of one single
// `zev1-wifi auto --verify`. The figures are printed, not judged.
#include "cli/cli_process.h"
#include "support/sim_process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct figures {
    std::size_t units = 0;
    std::size_t ok = 0;
    double seconds = 0;     // the batch's own time, from its summary line
    double cpu_seconds = 0; // user + system time of the batch process
    double peak_mib = 0;
    double median_unit = 0; // the middle unit's own time
};

double seconds_of(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

std::optional<figures> run(std::size_t units, const fs::path& dir) {
    std::vector<std::unique_ptr<zev1::test::sim_process>> sims;
    std::string plan = "port,action\n";
    for (std::size_t i = 0; i < units; ++i) {
        sims.push_back(std::make_unique<zev1::test::sim_process>(
            std::vector<std::string>{"--baud", "115200", "--ssid", "net" + std::to_string(i)}));
        if (!sims.back()->wait_ready()) {
            std::fprintf(stderr, "batch_speed: zev1-sim did not start\n");
            return std::nullopt;
        }
        plan += sims.back()->link() + ",auto\n";
    }
    const fs::path plan_file = dir / "plan.csv";
    std::ofstream(plan_file) << plan;
    zev1::test::cli_process batch(
        ZEV1_CLI_PATH, dir,
        {"--settings", (dir / "zev1-wifi.INI").native(), "batch", plan_file.native(), "--json"});
    const zev1::test::cli_result r = batch.wait(120s);
    if (r.status != 0 && r.status != 8) {
        std::fprintf(stderr, "batch_speed: batch ended with %d: %s\n", r.status, r.err.c_str());
        return std::nullopt;
    }
    figures f;
    f.units = units;
    std::istringstream lines(r.out);
    std::vector<double> unit_seconds;
    for (std::string line; std::getline(lines, line);) {
        const auto j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_object() && j.contains("port")) {
            unit_seconds.push_back(j["seconds"].get<double>());
        }
        if (j.is_object() && j.contains("failed") && !j.contains("port")) {
            f.ok = j["ok"].get<std::size_t>();
            f.seconds = j["seconds"].get<double>();
        }
    }
    std::sort(unit_seconds.begin(), unit_seconds.end());
    f.median_unit = unit_seconds.empty() ? 0 : unit_seconds[unit_seconds.size() / 2];
    const rusage& u = batch.usage();
    f.cpu_seconds = seconds_of(u.ru_utime) + seconds_of(u.ru_stime);
    f.peak_mib = static_cast<double>(u.ru_maxrss) / 1024.0; // kilobytes on Linux
    return f;
}

// One `zev1-wifi auto --verify` on its own, from start to exit, for comparison.
std::optional<double> single_auto(const fs::path& dir) {
    zev1::test::sim_process sim({"--baud", "115200"});
    if (!sim.wait_ready()) {
        return std::nullopt;
    }
    const auto t0 = std::chrono::steady_clock::now();
    zev1::test::cli_process one(
        ZEV1_CLI_PATH, dir,
        {"--settings", (dir / "zev1-wifi.INI").native(), "auto", "--port", sim.link(), "--verify"});
    if (one.wait(60s).status != 0) {
        return std::nullopt;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main() {
    char pattern[] = "/tmp/zev1-batch-speed-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const fs::path dir = pattern;
    std::vector<figures> all;
    for (std::size_t units : {1, 4, 8, 16}) {
        const auto f = run(units, dir);
        if (!f) {
            fs::remove_all(dir);
            return 1;
        }
        all.push_back(*f);
    }
    const auto single = single_auto(dir);
    fs::remove_all(dir);
    std::printf("%6s %6s %10s %8s %13s %14s %10s\n", "units", "ok", "time", "ratio", "median unit",
                "CPU per unit", "peak RSS");
    for (const figures& f : all) {
        std::printf("%6zu %6zu %8.2f s %8.2f %11.2f s %11.0f ms %6.1f MiB\n", f.units, f.ok,
                    f.seconds, f.seconds / all.front().seconds, f.median_unit,
                    1000.0 * f.cpu_seconds / static_cast<double>(f.units), f.peak_mib);
    }
    if (single) {
        std::printf("one zev1-wifi auto --verify: %.2f s\n", *single);
    }
    std::printf("ratio 8: %.2f, ratio 16: %.2f\n", all[2].seconds / all[0].seconds,
                all[3].seconds / all[0].seconds);
    return 0;
}
