// read_speed: how close a WiFi settings read comes to the wire speed of the link.
//
// Starts zev1-sim (next to this program) paced at 115200 baud on a pseudo-terminal, then
// reads the 0x4000-byte settings block five times through the real serial port, the link
// and the transfer sequencer, driven by a 10 ms tick loop on absolute deadlines as the
// tools drive them. Prints, side by side, the median read time, the wire time of the same
// bytes (every request and answer frame at 10 bits a byte) and their ratio, and the CPU
// time the process used per read. The last line is "ratio R".
#include "memory/flash.h"
#include "memory/wifi_settings.h"
#include "serial/port_namespace.h"
#include "serial/serial.h"
#include "session/wifi_session.h"
#include "settings/ini_file.h"
#include "support/child_process.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace zev1;
using steady = std::chrono::steady_clock;

constexpr int reads = 5;
constexpr double baud = 115200.0;
constexpr double bits_per_byte = 10.0;
constexpr std::size_t request_frame = 35; // 23 + 12-byte block header
constexpr std::size_t answer_frame = 291; // 23 + 12 + 256 data bytes
constexpr std::size_t blocks = wifi_block_length / Tflash::block_size;

struct quiet_log final : traffic_log {
    void add_packet_line(std::span<const std::uint8_t>, bool, std::string_view,
                         std::string_view) override {}
    void log_text(std::string_view) override {}
};
struct quiet_counter final : counter_view {
    void show_counter(std::string_view) override {}
};
struct quiet_progress final : progress_view {
    void show_progress(std::string_view, std::uint32_t, bool) override {}
    void set_remaining(std::uint32_t) override {}
    bool take_cancel() override { return false; }
    void show_error(std::string_view) override {}
};

// The simulator's link as the only port.
struct one_port final : port_namespace {
    std::string link;
    std::vector<std::string> candidates() override { return {link}; }
    probe_result probe(std::string_view name) override { return probe_port(name); }
};

// zev1-sim as a child; it quits when its standard input closes.
class simulator {
public:
    simulator(const std::filesystem::path& program, const std::string& link)
        : child_({program.native(), "--link", link, "--baud", "115200", "--exit-on-eof"},
                 {zev1::test::child_stream::piped(), zev1::test::child_stream::null(), {}}) {}
    ~simulator() { child_.stop(std::chrono::seconds(2)); }
    simulator(const simulator&) = delete;
    simulator& operator=(const simulator&) = delete;
    bool started() const { return child_.started(); }

private:
    zev1::test::child_process child_;
};

double cpu_seconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return secs(u.ru_utime) + secs(u.ru_stime);
}

struct read_figures {
    double wall_ms = 0;
    double cpu_ms = 0;
    int ticks = 0;
};

class bench {
public:
    explicit bench(const std::string& link, const std::filesystem::path& ini)
        : settings_(ini), port_(names_) {
        names_.link = link;
        settings_.WriteString("com", "com", link);
        session_ = std::make_unique<wifi_session>(port_, settings_, log_, counter_, progress_);
    }

    bool connect() {
        for (int t = 0; t < 300; ++t) {
            tick();
            if (!session_->link().device_text().empty()) {
                return true;
            }
        }
        return false;
    }

    // One read, from the request to the sequencer's return to idle.
    bool read(read_figures& f) {
        const double cpu0 = cpu_seconds();
        const auto t0 = steady::now();
        session_->start_read(false);
        for (int t = 1; t < 3000; ++t) {
            if (const auto done = tick()) {
                f.wall_ms = std::chrono::duration<double, std::milli>(steady::now() - t0).count();
                f.cpu_ms = (cpu_seconds() - cpu0) * 1000.0;
                f.ticks = t;
                return done->complete();
            }
        }
        return false;
    }

private:
    std::optional<wifi_session::read_outcome> tick() {
        // Absolute deadlines: the tick's own work does not push the later ticks back.
        const auto now = steady::now();
        if (next_ > now) {
            std::this_thread::sleep_until(next_);
        } else if (now - next_ >= period) {
            next_ += ((now - next_) / period) * period;
        }
        next_ += period;
        return session_->tick();
    }

    static constexpr steady::duration period = std::chrono::milliseconds(10);
    one_port names_;
    Tini_file settings_;
    serial port_;
    quiet_log log_;
    quiet_counter counter_;
    quiet_progress progress_;
    std::unique_ptr<wifi_session> session_;
    steady::time_point next_ = steady::now();
};

} // namespace

int main() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const auto sim = self.parent_path() / "zev1-sim";
    if (ec || !std::filesystem::exists(sim)) {
        std::fprintf(stderr, "read_speed: zev1-sim not found next to this program\n");
        return 1;
    }
    char pattern[] = "/tmp/zev1-read-speed-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::fprintf(stderr, "read_speed: no temporary folder\n");
        return 1;
    }
    const std::filesystem::path dir = pattern;
    const std::string link = (dir / "port").native();

    int status = 0;
    {
        simulator child(sim, link);
        for (int i = 0; i < 500 && !std::filesystem::exists(link); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        bench b(link, dir / "read_speed.INI");
        if (!child.started() || !b.connect()) {
            std::fprintf(stderr, "read_speed: no answer from zev1-sim\n");
            status = 1;
        } else {
            std::vector<read_figures> figures;
            std::printf("read_speed: %d reads of 0x%X bytes from 0x%X, zev1-sim paced at %.0f baud,"
                        " 10 ms ticks\n",
                        reads, wifi_block_length, wifi_block_start, baud);
            std::printf("%-6s %10s %8s %10s %8s\n", "read", "wall ms", "ticks", "cpu ms", "cpu %");
            for (int i = 0; i < reads && status == 0; ++i) {
                read_figures f;
                if (!b.read(f)) {
                    std::fprintf(stderr, "read_speed: read %d failed\n", i + 1);
                    status = 1;
                    break;
                }
                figures.push_back(f);
                std::printf("%-6d %10.1f %8d %10.1f %8.2f\n", i + 1, f.wall_ms, f.ticks, f.cpu_ms,
                            100.0 * f.cpu_ms / f.wall_ms);
            }
            if (status == 0) {
                auto sorted = figures;
                std::sort(sorted.begin(), sorted.end(),
                          [](const auto& a, const auto& c) { return a.wall_ms < c.wall_ms; });
                const read_figures& median = sorted[sorted.size() / 2];
                double cpu_total = 0;
                double wall_total = 0;
                for (const auto& f : figures) {
                    cpu_total += f.cpu_ms;
                    wall_total += f.wall_ms;
                }
                const double wire_ms =
                    static_cast<double>(blocks * (request_frame + answer_frame)) * bits_per_byte /
                    baud * 1000.0;
                const double ratio = median.wall_ms / wire_ms;
                std::printf("\n%-14s %-14s %-7s %-14s %-10s %s\n", "median read", "wire time",
                            "ratio", "cpu per read", "cpu share", "ticks per block");
                std::printf("%8.1f ms    %8.1f ms    %5.2f   %8.1f ms    %6.2f %%   %.2f\n",
                            median.wall_ms, wire_ms, ratio, cpu_total / reads,
                            100.0 * cpu_total / wall_total,
                            static_cast<double>(median.ticks) / static_cast<double>(blocks));
                std::printf("ratio %.2f\n", ratio);
            }
        }
    }
    std::filesystem::remove_all(dir, ec);
    return status;
}
