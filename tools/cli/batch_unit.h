#pragma once
// One unit of a batch: a plan row carried out on one port, on a thread of its own. The
// thread runs what the single read, write and auto commands run: a session of its own
// (port object, link, sequencer) with its own 10 ms tick clock, so nothing in the
// timing of one link depends on the others. A read or write that ends in a time-out or
// a lost port is repeated up to `retries` times; a refused value or a verify mismatch
// is not.
#include "batch_plan.h"
#include "console.h"
#include "exit_status.h"
#include "memory/wifi_settings.h"
#include "settings/settings_place.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace zev1::cli {

enum class unit_step : int { waiting, connecting, reading, writing, verifying, retrying, done };

std::string_view step_name(unit_step step);

// What a finished unit reports.
struct unit_report {
    std::size_t line = 0; // the plan row's line
    std::string port;
    std::string label;
    std::string usb_serial;
    std::string id; // the controller's identification, empty when it never answered
    unit_action action = unit_action::automatic;
    outcome result;
    int attempts = 0;
    double seconds = 0;
    // The last settings handed to the port (a write that the port took whole), and for
    // a read row what was read.
    std::optional<wifi_settings> written;
    std::optional<wifi_settings> read;
};

// A unit whose plan row is refused before anything is opened (or never started).
unit_report refused_unit(const plan_row& row, std::string port, std::string usb_serial,
                         outcome result);

// Ticks whether a failure may be repeated: time-outs (4, 5) and a port lost after it had
// opened (3).
bool worth_retrying(const outcome& result, bool port_had_opened);

class unit_run {
public:
    // settings: the settings file the sessions read (never written).
    unit_run(const plan_row& row, std::string port, std::string usb_serial,
             const settings_place& settings, int retries);
    ~unit_run();
    unit_run(const unit_run&) = delete;
    unit_run& operator=(const unit_run&) = delete;

    void start();
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // After finished(): the report (the thread is joined).
    unit_report take();

    // For the live display, from any thread.
    unit_step step() const { return step_.load(); }
    int attempt() const { return attempt_.load(); }
    std::uint32_t percent() const { return bar_.percent(); }
    const std::string& port() const { return report_.port; }
    const std::string& label() const { return report_.label; }

private:
    void run();
    outcome attempt_once(bool& port_opened);
    // Waits for the port to be present again (at most a few seconds); false on Ctrl+C.
    bool wait_for_port() const;

    plan_row row_;
    settings_place settings_;
    int retries_;
    progress_bar bar_;
    console_log log_;
    unit_report report_;
    std::atomic<unit_step> step_{unit_step::waiting};
    std::atomic<int> attempt_{0};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

} // namespace zev1::cli
