#include "batch_run.h"

#include "batch_plan.h"
#include "batch_ports.h"
#include "batch_report.h"
#include "batch_unit.h"
#include "commands.h"
#include "console.h"
#include "serial/port_namespace.h"
#include "settings/file_io.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace zev1::cli {
namespace {

using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

constexpr auto loop_period = 20ms;
constexpr auto scan_period = 250ms;
constexpr auto draw_period = 100ms;

// The live lines on standard error: one per unit in progress, redrawn in place below
// the lines already printed.
class live_display {
public:
    explicit live_display(std::FILE* err, bool enabled) : err_(err), enabled_(enabled) {}

    void clear() {
        if (drawn_ > 0) {
            std::fprintf(err_, "\x1b[%luF\x1b[J", static_cast<unsigned long>(drawn_));
            drawn_ = 0;
        }
    }

    void draw(const std::vector<std::unique_ptr<unit_run>>& running) {
        if (!enabled_) {
            return;
        }
        clear();
        const auto width = static_cast<std::size_t>(std::max(stderr_columns() - 1, 20));
        for (const auto& u : running) {
            std::string line = "  " + printable(u->port());
            if (!u->label().empty()) {
                line += "  " + printable(u->label());
            }
            const unit_step step = u->step();
            line += "  " + std::string(step_name(step));
            if (step == unit_step::reading || step == unit_step::verifying) {
                // Appended piece by piece: GCC 12 at -O3 warns falsely (restrict) on
                // a literal + std::string here.
                line.append(" ").append(std::to_string(u->percent())).append(" %");
            }
            if (u->attempt() > 1) {
                line += " (attempt " + std::to_string(u->attempt()) + ")";
            }
            if (line.size() > width) {
                line.resize(width);
            }
            std::fprintf(err_, "%s\n", line.c_str());
            ++drawn_;
        }
        std::fflush(err_);
    }

    bool enabled() const { return enabled_; }

private:
    std::FILE* err_;
    bool enabled_;
    std::size_t drawn_ = 0;
};

bool live_lines_possible() {
#ifdef _WIN32
    return false; // the console takes no cursor movements unless told to
#else
    return stderr_is_terminal();
#endif
}

class batch_runner {
public:
    batch_runner(const cli_options& options, std::vector<plan_row> rows, std::FILE* out,
                 std::FILE* err)
        : options_(options), rows_(std::move(rows)), out_(out), err_(err),
          names_(make_system_namespace()), display_(err, live_lines_possible()),
          echo_to_err_(display_.enabled() && !stdout_is_terminal()) {}

    exit_status run() {
        start_ = steady::now();
        if (!options_.batch.watch) {
            port_assignment a = assign_ports(rows_, scan(), {}, true);
            if (!a.conflicts.empty()) {
                std::fprintf(err_, "zev1-wifi: %s: %s\n", options_.batch.plan.c_str(),
                             a.conflicts.front().result.message.c_str());
                return exit_status::usage;
            }
            if (a.units.empty() && a.refused.empty()) {
                std::fprintf(err_, "zev1-wifi: no present port for the plan's rows\n");
                return exit_status::no_port;
            }
            take(a);
        }
        loop();
        return finish();
    }

private:
    // The ports present now, in listing order; named ports outside the listing (a path)
    // when they probe present.
    std::vector<present_port> scan() {
        std::vector<present_port> present;
        auto add = [&](const std::string& name) {
            const bool known = std::any_of(present.begin(), present.end(),
                                           [&](const present_port& p) { return p.name == name; });
            if (!known && names_->probe(name) == probe_result::present) {
                present.push_back({name, names_->describe(name)});
            }
        };
        for (const std::string& name : names_->candidates()) {
            add(name);
        }
        for (const plan_row& row : rows_) {
            if (row.port.by == port_selector::kind::name) {
                add(row.port.text);
            }
        }
        return present;
    }

    // What tells one device behind a port name from the next: the kernel gives a freed
    // name (ttyUSB3) to the next adapter that appears, on any hub slot, so a controller
    // pulled out and another plugged in between two scans would keep the name.
    using identities = std::map<std::string, std::string>;

    static std::string identity_of(const port_description& d) {
        return d.location + '\n' + d.serial_number;
    }

    static std::string identity_in(const identities& now, const std::string& port) {
        const auto it = now.find(port);
        return it == now.end() ? std::string() : it->second;
    }

    void take(const port_assignment& a, const identities& now = {}) {
        for (const auto* list : {&a.conflicts, &a.refused}) {
            for (const unit_refusal& r : *list) {
                for (const std::string& port : r.ports) {
                    done_[port] = identity_in(now, port);
                }
                report(refused_unit(rows_[r.row], r.ports.empty() ? std::string() : r.ports.front(),
                                    {}, r.result));
            }
        }
        for (const unit_plan& u : a.units) {
            busy_[u.port] = identity_in(now, u.port);
            pending_.push_back(u);
        }
    }

    // Watch: ports that were set up and are gone again, or now lead to another device,
    // may be set up anew; ports that appeared are handed to their rows.
    void watch_scan() {
        const std::vector<present_port> present = scan();
        identities now;
        for (const present_port& p : present) {
            now[p.name] = identity_of(p.description);
        }
        for (auto it = done_.begin(); it != done_.end();) {
            const auto there = now.find(it->first);
            const bool same = there != now.end() && there->second == it->second;
            it = same || busy_.contains(it->first) ? std::next(it) : done_.erase(it);
        }
        std::set<std::string> skip;
        for (const auto* m : {&done_, &busy_}) {
            for (const auto& entry : *m) {
                skip.insert(entry.first);
            }
        }
        take(assign_ports(rows_, present, skip, false), now);
    }

    bool count_reached() const {
        return options_.batch.count > 0 && reported_ + running_.size() + pending_.size() >=
                                               static_cast<std::size_t>(options_.batch.count);
    }

    void loop() {
        auto next_scan = steady::now();
        auto next_draw = steady::now();
        for (;;) {
            const bool stop = interrupted();
            if (stop) {
                // Units not yet started are reported as such; the ones running end at
                // their next tick (a settings frame handed over is written first).
                while (!pending_.empty()) {
                    const unit_plan u = pending_.front();
                    pending_.pop_front();
                    unit_report r = refused_unit(
                        rows_[u.row], u.port, u.usb_serial,
                        outcome::fail(exit_status::interrupted, "interrupted before it started"));
                    report(r);
                }
            }
            collect();
            if (options_.batch.watch && !stop && !count_reached() && steady::now() >= next_scan) {
                watch_scan();
                next_scan = steady::now() + scan_period;
            }
            const auto jobs = static_cast<std::size_t>(options_.batch.jobs);
            while (!stop && !pending_.empty() && (jobs == 0 || running_.size() < jobs)) {
                const unit_plan u = pending_.front();
                pending_.pop_front();
                auto run = std::make_unique<unit_run>(rows_[u.row], u.port, u.usb_serial,
                                                      options_.settings, options_.batch.retries);
                run->start();
                running_.push_back(std::move(run));
            }
            if (running_.empty() && pending_.empty() &&
                (stop || !options_.batch.watch || count_reached())) {
                break;
            }
            if (steady::now() >= next_draw) {
                display_.draw(running_);
                next_draw = steady::now() + draw_period;
            }
            std::this_thread::sleep_for(loop_period);
        }
        display_.clear();
    }

    void collect() {
        for (auto it = running_.begin(); it != running_.end();) {
            if (!(*it)->finished()) {
                ++it;
                continue;
            }
            unit_report r = (*it)->take();
            it = running_.erase(it);
            if (options_.batch.watch) {
                done_[r.port] = busy_[r.port];
            }
            busy_.erase(r.port);
            report(r);
        }
    }

    void report(const unit_report& r) {
        ++reported_;
        display_.clear();
        const std::string line = options_.json ? unit_json(r) : unit_line(r);
        write_out(line);
        if (echo_to_err_) {
            std::fputs(unit_line(r).c_str(), err_);
        }
        units_.push_back(r);
        display_.draw(running_);
    }

    void write_out(const std::string& text) {
        if (std::fputs(text.c_str(), out_) < 0 || std::fflush(out_) != 0) {
            output_failed_ = true;
        }
    }

    bool write_file(const std::string& path, const std::string& text) {
        std::string reason;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        if (!write_file_atomically(path, std::span<const std::uint8_t>(bytes, text.size()),
                                   reason)) {
            std::fprintf(err_, "zev1-wifi: report %s not written: %s\n", path.c_str(),
                         reason.c_str());
            return false;
        }
        return true;
    }

    exit_status finish() {
        const double seconds = std::chrono::duration<double>(steady::now() - start_).count();
        const batch_totals totals = totals_of(units_, seconds);
        const bool stopped = interrupted();
        write_out(options_.json ? summary_json(totals) : summary_line(totals, stopped));
        if (echo_to_err_) {
            std::fputs(summary_line(totals, stopped).c_str(), err_);
        }
        bool files_ok = true;
        if (options_.batch.junit) {
            files_ok = write_file(*options_.batch.junit, junit_xml(units_, seconds)) && files_ok;
        }
        if (options_.batch.csv) {
            files_ok = write_file(*options_.batch.csv, csv_report(units_)) && files_ok;
        }
        if (output_failed_) {
            std::fputs("zev1-wifi: cannot write the output\n", err_);
        }
        if (stopped) {
            return exit_status::interrupted;
        }
        if (totals.failed > 0) {
            return exit_status::some_failed;
        }
        return output_failed_ || !files_ok ? exit_status::failure : exit_status::ok;
    }

    const cli_options& options_;
    std::vector<plan_row> rows_;
    std::FILE* out_;
    std::FILE* err_;
    std::unique_ptr<port_namespace> names_;
    live_display display_;
    // Standard output goes elsewhere: the terminal shows the finished units' lines too.
    bool echo_to_err_;
    steady::time_point start_;
    std::deque<unit_plan> pending_;
    std::vector<std::unique_ptr<unit_run>> running_;
    std::vector<unit_report> units_;
    // Port names with the identity of their device when the unit was handed out.
    identities busy_; // a unit pending or running
    identities done_; // watch: set up, neither unplugged nor swapped since
    std::size_t reported_ = 0;
    bool output_failed_ = false;
};

} // namespace

exit_status run_batch(const cli_options& options, std::FILE* out, std::FILE* err) {
    if (options.verbose) {
        std::fputs("zev1-wifi: --verbose does not go with batch; run read, write or auto on "
                   "one port for its traffic log\n",
                   err);
        return exit_status::usage;
    }
    const auto key_file = options.batch.key_file
                              ? std::optional<std::filesystem::path>(*options.batch.key_file)
                              : std::nullopt;
    plan_result plan = read_plan(options.batch.plan, key_file);
    if (!plan.failure.ok()) {
        std::fprintf(err, "zev1-wifi: %s\n", plan.failure.message.c_str());
        return plan.failure.status;
    }
    batch_runner runner(options, std::move(plan.rows), out, err);
    return runner.run();
}

} // namespace zev1::cli
