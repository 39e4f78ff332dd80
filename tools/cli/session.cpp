#include "session.h"

#include <thread>

namespace zev1::cli {

void tick_clock::wait() {
    const auto now = time_.now();
    if (next_ > now) {
        time_.sleep_until(next_);
    } else if (now - next_ >= period) {
        // Overran: skip the deadlines already missed, keeping the phase.
        next_ += ((now - next_) / period) * period;
    }
    next_ += period;
}

session::session(const settings_place& settings_file, console_log& log, progress_bar& bar)
    : settings_(settings_file), log_(log), bar_(bar), names_(make_system_namespace()),
      port_(std::make_unique<serial>(names_)),
      core_(std::make_unique<wifi_session>(*port_, settings_, log_, counter_, bar_)) {}

bool session::tick(bool stop_on_interrupt) {
    clock_.wait();
    if (stop_on_interrupt && interrupted()) {
        return false;
    }
    last_read_ = core_->tick();
    std::string line = core_->link().port_state_line();
    if (line != state_line_) {
        state_line_ = std::move(line);
        log_.note("port: " + state_line_);
    }
    return true;
}

std::string session::not_written_text() const {
    if (core_->dropped_reason() == drop_reason::queue_full) {
        return "port " + port_name_ + " did not take the settings (send queue full)";
    }
    return "port " + port_name_ + " closed before the settings were written";
}

outcome session::interrupted_outcome() const {
    return outcome::fail(exit_status::interrupted, "interrupted");
}

outcome session::connect(const std::optional<std::string>& given) {
    const std::string remembered = settings_.ReadString("com", "com", "");
    // A port outside the usual places (an absolute path) is listed only when named.
    names_.put_first(given ? *given : remembered);
    // What the link does on its first tick: read the "com" keys, build the port list.
    core_->link().load_port_settings();

    std::vector<std::string> present;
    for (const auto& name : port_->port_names()) {
        if (!name.empty()) {
            present.push_back(name);
        }
    }
    const port_choice choice = choose_port(
        given, remembered, present,
        [this](std::string_view name) { return names_.probe(name) == probe_result::present; },
        port_->denied_ports());
    if (!choice.result.ok()) {
        return choice.result;
    }
    port_name_ = choice.name;

    // The choice the user makes in the window's port selector. The link opens the port on
    // the next tick and then remembers it in the settings file.
    if (!core_->link().want_open()) {
        core_->link().toggle_open();
    }
    core_->link().select_port(port_name_);
    if (!port_->port_selected() ||
        port_->port_names()[static_cast<std::size_t>(port_->selected_index())] != port_name_) {
        return outcome::fail(exit_status::no_port,
                             "port " + port_name_ + " is not present or is in use");
    }

    // While waiting for the first answer the port stays open: the link's watchdog would
    // close and reopen a silent port every half second, and every open of a serial
    // device raises its modem lines for a moment (the controller's reset inputs).
    struct watchdog_paused {
        komunikace& link;
        explicit watchdog_paused(komunikace& l) : link(l) { link.watchdog_off(); }
        ~watchdog_paused() { link.watchdog_on(); }
        watchdog_paused(const watchdog_paused&) = delete;
        watchdog_paused& operator=(const watchdog_paused&) = delete;
    } paused(core_->link());

    bool opened = false;
    const auto received_before = log_.frames_received();
    // The first tick makes the first open attempt; 300 ticks later the time is up.
    for (int t = 0; t <= answer_ticks; ++t) {
        if (!tick()) {
            return interrupted_outcome();
        }
        if (core_->link().state() == komunikace::link_state::connected) {
            opened = true;
            opened_ = true;
            if (log_.frames_received() > received_before) {
                return outcome::success();
            }
        }
    }
    if (!opened) {
        std::string why = "port " + port_name_ + " cannot be opened";
        if (port_->last_open_denied()) {
            why = permission_note({port_name_});
        } else if (port_->last_open_busy()) {
            why += ": it is in use by another program";
        }
        return outcome::fail(exit_status::no_port, why);
    }
    return outcome::fail(exit_status::no_answer,
                         "no answer from the controller on " + port_name_ + " within 3 s");
}

outcome session::read_settings(bool automatic, wifi_session::read_outcome& result) {
    core_->start_read(automatic);
    for (int t = 0; t < read_ticks; ++t) {
        if (!tick()) {
            bar_.clear_line();
            return interrupted_outcome();
        }
        if (last_read_) {
            std::optional<wifi_session::read_outcome> done = std::move(last_read_);
            last_read_.reset();
            if (!done->complete()) {
                // Nothing here presses Cancel: a read that ended short was aborted.
                std::string text = "transfer aborted after five time-outs";
                if (!port_->is_open() || !port_->running()) {
                    text += " (port " + port_name_ + " closed)";
                }
                return outcome::fail(exit_status::aborted, text);
            }
            result = std::move(*done);
            return outcome::success();
        }
    }
    bar_.clear_line();
    return outcome::fail(exit_status::aborted, "transfer did not end");
}

outcome check_fits(const wifi_settings& settings) {
    const wifi_body body = build_wifi_body(settings);
    if (body.cuts.empty()) {
        return outcome::success();
    }
    return too_long_outcome(body.cuts.front());
}

outcome too_long_outcome(const wifi_cut& cut) {
    return outcome::fail(exit_status::too_long, std::string(cut.field) + " too long: at most " +
                                                    std::to_string(cut.limit) +
                                                    " bytes fit; nothing sent");
}

outcome session::send_settings(const wifi_settings& settings) {
    const auto verdict = core_->send_settings(settings);
    if (!verdict.too_long.empty()) {
        return too_long_outcome(verdict.too_long.front());
    }
    if (verdict.state == wifi_session::write_state::dropped) {
        return outcome::fail(exit_status::no_port,
                             "port " + port_name_ + " closed; settings not sent");
    }
    // The frame counts as sent once the port has taken it from the link's send queue
    // and written it; a queue emptied because the port closed does not count. Once the
    // frame is handed over, Ctrl+C waits for its end: closing the port in the middle of
    // it would leave the controller half a frame.
    for (int t = 0; t < send_ticks; ++t) {
        const auto state = core_->settings_write();
        if (state == wifi_session::write_state::dropped) {
            return outcome::fail(exit_status::no_port, not_written_text());
        }
        if (state == wifi_session::write_state::written && !port_->write_pending()) {
            for (int d = 0; d < drain_ticks; ++d) {
                tick(false);
            }
            if (interrupted()) {
                return outcome::fail(exit_status::interrupted,
                                     "interrupted after the settings were written to port " +
                                         port_name_);
            }
            return outcome::success();
        }
        if (!port_->running()) {
            return outcome::fail(exit_status::no_port,
                                 "port " + port_name_ + " closed before the settings were written");
        }
        tick(false);
    }
    return outcome::fail(exit_status::no_port,
                         "port " + port_name_ + " did not write the settings within 2 s");
}

} // namespace zev1::cli
