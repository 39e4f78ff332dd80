#include "session.h"

#include <thread>

namespace zev1::cli {

void tick_clock::wait() {
    const auto now = clock::now();
    if (next_ > now) {
        std::this_thread::sleep_until(next_);
    } else if (now - next_ >= period) {
        // Overran: skip the deadlines already missed, keeping the phase.
        next_ += ((now - next_) / period) * period;
    }
    next_ += period;
}

session::session(const settings_place& settings_file, console_log& log, progress_bar& bar)
    : settings_(settings_file), log_(log), bar_(bar), names_(make_system_namespace()),
      port_(std::make_unique<serial>(names_)),
      link_(std::make_unique<komunikace>(*port_, settings_, log_, counter_)),
      flash_(std::make_unique<Tflash>(*link_, *port_, bar_, log_)),
      workflow_(std::make_unique<wifi_workflow>(*flash_)) {
    link_->set_transfer(flash_.get());
}

bool session::tick() {
    clock_.wait();
    if (interrupted()) {
        return false;
    }
    if (link_->poll_link()) {
        link_->release_frame();
    }
    std::string line = link_->port_state_line();
    if (line != state_line_) {
        state_line_ = std::move(line);
        log_.note("port: " + state_line_);
    }
    return true;
}

outcome session::interrupted_outcome() const {
    return outcome::fail(exit_status::interrupted, "interrupted");
}

outcome session::connect(const std::optional<std::string>& given) {
    const std::string remembered = settings_.ReadString("com", "com", "");
    // A port outside the usual places (an absolute path) is listed only when named.
    names_.put_first(given ? *given : remembered);
    // What the link does on its first tick: read the "com" keys, build the port list.
    link_->load_port_settings();

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
    if (!link_->want_open()) {
        link_->toggle_open();
    }
    link_->select_port(port_name_);
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
    } paused(*link_);

    bool opened = false;
    const auto received_before = log_.frames_received();
    // The first tick makes the first open attempt; 300 ticks later the time is up.
    for (int t = 0; t <= answer_ticks; ++t) {
        if (!tick()) {
            return interrupted_outcome();
        }
        if (link_->state() == komunikace::link_state::connected) {
            opened = true;
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

outcome session::read_settings(bool automatic, wifi_workflow::read_result& result) {
    bar_.take_error();
    workflow_->start_read(automatic);
    for (int t = 0; t < read_ticks; ++t) {
        if (!tick()) {
            bar_.clear_line();
            return interrupted_outcome();
        }
        if (auto done = workflow_->after_poll()) {
            if (bar_.take_error()) {
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
    const wifi_cut& cut = body.cuts.front();
    return outcome::fail(exit_status::too_long, std::string(cut.field) + " too long: at most " +
                                                    std::to_string(cut.limit) +
                                                    " bytes fit; nothing sent");
}

outcome session::send_settings(const wifi_settings& settings) {
    if (auto fits = check_fits(settings); !fits.ok()) {
        return fits;
    }
    const wifi_body body = build_wifi_body(settings);
    const auto sent_before = log_.frames_sent(wifi_packet_type);
    const auto result = link_->send_packet(wifi_packet_type, body.bytes);
    if (result == komunikace::send_result::port_closed ||
        result == komunikace::send_result::port_gone) {
        return outcome::fail(exit_status::no_port,
                             "port " + port_name_ + " closed; settings not sent");
    }
    if (result == komunikace::send_result::too_long) {
        return outcome::fail(exit_status::failure, "settings frame could not be built");
    }
    // The frame counts as sent once the port has taken it from the link's send queue
    // and written it; a queue emptied because the port closed does not count.
    for (int t = 0; t < send_ticks; ++t) {
        if (log_.frames_sent(wifi_packet_type) > sent_before && !port_->write_pending()) {
            for (int d = 0; d < drain_ticks; ++d) {
                if (!tick()) {
                    return interrupted_outcome();
                }
            }
            return outcome::success();
        }
        if (!port_->running()) {
            return outcome::fail(exit_status::no_port,
                                 "port " + port_name_ + " closed before the settings were written");
        }
        if (!tick()) {
            return interrupted_outcome();
        }
    }
    return outcome::fail(exit_status::no_port,
                         "port " + port_name_ + " did not write the settings within 2 s");
}

wifi_settings session::image_settings() const {
    return read_wifi_settings(flash_->image());
}

} // namespace zev1::cli
