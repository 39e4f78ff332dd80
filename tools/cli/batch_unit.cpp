#include "batch_unit.h"

#include "commands.h"
#include "serial/port_namespace.h"
#include "session.h"

namespace zev1::cli {

std::string_view step_name(unit_step step) {
    switch (step) {
    case unit_step::waiting:
        return "waiting";
    case unit_step::connecting:
        return "connecting";
    case unit_step::reading:
        return "reading";
    case unit_step::writing:
        return "writing";
    case unit_step::verifying:
        return "verifying";
    case unit_step::retrying:
        return "retrying";
    case unit_step::done:
        return "done";
    }
    return "";
}

unit_report refused_unit(const plan_row& row, std::string port, std::string usb_serial,
                         outcome result) {
    unit_report r;
    r.line = row.line;
    r.port = std::move(port);
    r.label = row.label;
    r.usb_serial = std::move(usb_serial);
    r.action = row.action;
    r.result = std::move(result);
    return r;
}

bool worth_retrying(const outcome& result, bool port_had_opened) {
    switch (result.status) {
    case exit_status::no_answer:
    case exit_status::aborted:
        return true;
    case exit_status::no_port:
        return port_had_opened;
    default:
        return false;
    }
}

unit_run::unit_run(const plan_row& row, std::string port, std::string usb_serial,
                   const settings_place& settings, int retries)
    : row_(row), settings_(settings.read, {}, false), retries_(retries), bar_(nullptr, false),
      log_(nullptr, false, bar_),
      report_(refused_unit(row, std::move(port), std::move(usb_serial), outcome::success())) {}

unit_run::~unit_run() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void unit_run::start() {
    thread_ = std::thread([this] { run(); });
}

unit_report unit_run::take() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return report_;
}

void unit_run::run() {
    const auto t0 = std::chrono::steady_clock::now();
    for (;;) {
        attempt_.store(attempt_.load() + 1);
        bool port_opened = false;
        report_.result = attempt_once(port_opened);
        report_.attempts = attempt_.load();
        if (report_.result.ok() || report_.attempts > retries_ ||
            !worth_retrying(report_.result, port_opened) || interrupted()) {
            break;
        }
        step_.store(unit_step::retrying);
        if (!wait_for_port()) {
            report_.result = outcome::fail(exit_status::interrupted, "interrupted");
            break;
        }
    }
    report_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    step_.store(unit_step::done);
    finished_.store(true, std::memory_order_release);
}

bool unit_run::wait_for_port() const {
    using namespace std::chrono_literals;
    // A controller that was pulled out needs a moment to come back; a port that stays
    // away is tried all the same after a few seconds, and the attempt says why it fails.
    const auto names = make_system_namespace();
    const auto until = std::chrono::steady_clock::now() + 5s;
    std::this_thread::sleep_for(200ms);
    while (std::chrono::steady_clock::now() < until) {
        if (interrupted()) {
            return false;
        }
        if (names->probe(report_.port) == probe_result::present) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return !interrupted();
}

outcome unit_run::attempt_once(bool& port_opened) {
    session s(settings_, log_, bar_);
    step_.store(unit_step::connecting);
    outcome o = s.connect(report_.port);
    port_opened = s.port_opened();
    if (!o.ok()) {
        return o;
    }
    report_.id = s.device_text();
    step_.store(unit_step::reading);
    wifi_session::read_outcome current;
    o = s.read_settings(row_.action == unit_action::automatic, current);
    report_.id = s.device_text().empty() ? report_.id : s.device_text();
    if (!o.ok()) {
        return o;
    }
    if (row_.action == unit_action::read) {
        report_.read = current.settings;
        return o;
    }

    wifi_settings wanted = current.settings;
    if (row_.action == unit_action::automatic) {
        wanted.endpoint = row_.fields.endpoint.empty() ? std::string(default_server_endpoint)
                                                       : row_.fields.endpoint;
    } else {
        auto replace = [](std::string& field, const std::string& given) {
            if (!given.empty()) {
                field = given;
            }
        };
        replace(wanted.ssid, row_.fields.ssid);
        replace(wanted.key, row_.fields.key);
        replace(wanted.security, row_.fields.security);
        replace(wanted.endpoint, row_.fields.endpoint);
    }
    step_.store(unit_step::writing);
    o = s.send_settings(wanted);
    if (s.settings_handed()) {
        report_.written = wanted;
    }
    if (!o.ok() || !row_.verify) {
        return o;
    }
    step_.store(unit_step::verifying);
    wifi_session::read_outcome back;
    if (o = s.read_settings(false, back); !o.ok()) {
        return o;
    }
    const std::string differ = compare_settings(wanted, s.image_settings());
    if (!differ.empty()) {
        return outcome::fail(exit_status::mismatch,
                             "verification failed: " + differ + " differ after the write");
    }
    return o;
}

} // namespace zev1::cli
