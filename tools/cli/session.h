#pragma once
// The core assembled for one command: settings file, serial port and the WiFi session
// (link, transfer sequencer, settings workflow), driven by a 10 ms tick loop as the main
// window's timer drives them in the configurator.
#include "console.h"
#include "exit_status.h"
#include "memory/wifi_settings.h"
#include "port_choice.h"
#include "serial/serial.h"
#include "session/wifi_session.h"
#include "settings/ini_file.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace zev1::cli {

// Ticks on absolute deadlines: the n-th tick is due n periods after the first, however
// long each tick's work takes, so the loop does not drift. When the work overran a whole
// period the missed ticks are skipped (the phase is kept), as a window timer does.
class tick_clock {
public:
    using clock = std::chrono::steady_clock;
    static constexpr clock::duration period = std::chrono::milliseconds(10);
    // Where the time comes from: the system's clock and sleep, or a test's.
    struct time_source {
        std::function<clock::time_point()> now;
        std::function<void(clock::time_point)> sleep_until;
    };
    static time_source system_time() {
        return {[] { return clock::now(); },
                [](clock::time_point t) { std::this_thread::sleep_until(t); }};
    }

    explicit tick_clock(time_source time = system_time())
        : time_(std::move(time)), next_(time_.now()) {}
    // Returns at the next deadline (at once for the first tick).
    void wait();

private:
    time_source time_;
    clock::time_point next_;
};

class session {
public:
    // Ticks allowed between the start of the open attempts and the first valid frame.
    static constexpr int answer_ticks = 300;
    // Ticks the port may take to write the settings frame.
    static constexpr int send_ticks = 200;
    // Ticks after the settings frame was written before the port is closed.
    static constexpr int drain_ticks = 5;
    // Upper bound of one read (the sequencer ends far sooner, even in the worst case).
    static constexpr int read_ticks = 12000;

    session(const settings_place& settings_file, console_log& log, progress_bar& bar);
    session(const session&) = delete;
    session& operator=(const session&) = delete;

    // Chooses the port (given, remembered or the only one), opens it and waits for the
    // controller's first valid frame.
    outcome connect(const std::optional<std::string>& given);
    // Reads the settings block; the result as the configurator's window shows it.
    outcome read_settings(bool automatic, wifi_session::read_outcome& result);
    // Sends the one type-100 frame and waits until the port has written it, Ctrl+C or not
    // (then the outcome is interrupted, after the write).
    outcome send_settings(const wifi_settings& settings);
    // The last settings frame was handed to the port (whether or not it is written yet).
    bool settings_handed() const {
        const auto state = core_->settings_write();
        return state == wifi_session::write_state::pending ||
               state == wifi_session::write_state::written;
    }

    // The texts as they lie in the image after the last read (security not normalised).
    wifi_settings image_settings() const { return core_->image_settings(); }
    std::string device_text() const { return std::string(core_->link().device_text()); }
    const std::string& port_name() const { return port_name_; }
    // connect() opened the port (whatever came after).
    bool port_opened() const { return opened_; }

private:
    // Waits for the next tick and runs it; false when Ctrl+C was pressed (and then the
    // tick is not run unless stop_on_interrupt is false).
    bool tick(bool stop_on_interrupt = true);
    outcome interrupted_outcome() const;
    // Why the settings frame the link dropped was not written.
    std::string not_written_text() const;

    Tini_file settings_;
    console_log& log_;
    progress_bar& bar_;
    cli_port_namespace names_;
    std::unique_ptr<serial> port_;
    silent_counter counter_;
    std::unique_ptr<wifi_session> core_;
    // How the read ended, on the tick it ended.
    std::optional<wifi_session::read_outcome> last_read_;
    tick_clock clock_;
    std::string port_name_;
    std::string state_line_;
    bool opened_ = false;
};

// The first field that does not fit the type-100 body, as a failure (7); success when
// every text fits.
outcome check_fits(const wifi_settings& settings);
// The failure (7) for a field too long for its place in the body.
outcome too_long_outcome(const wifi_cut& cut);

} // namespace zev1::cli
