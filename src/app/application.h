#pragma once
// The application object: the settings file (it is a Tini_file, so its destruction
// writes the file) and the WiFi session (link, transfer sequencer, device memory image,
// settings workflow), through which the windows reach everything. Qt-free.
//
// Construction order: the settings store, the relays for the windows, the session and
// the schedule of the window's ticks (the port's arrival wake until destruction).
// Destruction runs the other way, so the file is written last, after the modules that
// write into it are gone. The serial port is owned by the caller and must outlive this
// object.
#include "app/tick_schedule.h"
#include "app/view_relays.h"
#include "serial/link_port.h"
#include "session/wifi_session.h"
#include "settings/ini_file.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zev1 {

class Tlpc1xxx final : public Tini_file {
public:
    static constexpr std::int32_t baud_rate = komunikace::default_baud;

    Tlpc1xxx(settings_place settings, link_port& port);
    ~Tlpc1xxx();
    Tlpc1xxx(const Tlpc1xxx&) = delete;
    Tlpc1xxx& operator=(const Tlpc1xxx&) = delete;

    // The windows that show the modules' output (null detaches).
    void attach_views(traffic_log* log, counter_view* counter, progress_view* progress);

    // --- forwarding to the link ---------------------------------------------------------
    void fill_port_list(port_list_view& view) { session_.link().fill_port_list(view); }
    std::string port_state_line() const { return session_.link().port_state_line(); }
    void select_port(std::string_view name) { session_.link().select_port(name, baud_rate); }

    // --- the WiFi session -----------------------------------------------------------------
    // One tick of the link and the sequencer; how a requested read ended, once it has.
    // ticks > 1: the ones before the last were let pass as idle.
    std::optional<wifi_session::read_outcome> tick(int ticks = 1) { return session_.tick(ticks); }
    int idle_ticks() const { return session_.idle_ticks(); }
    // When the window's loop runs its next tick; the port wakes it.
    tick_schedule& schedule() { return schedule_; }
    // Starts reading the settings block; automatic: then write the default endpoint.
    void start_wifi_read(bool automatic) { session_.start_read(automatic); }
    wifi_session::send_verdict send_settings(const wifi_settings& settings) {
        return session_.send_settings(settings);
    }
    wifi_session& session() { return session_; }
    komunikace& link() { return session_.link(); }

private:
    traffic_log_relay log_relay_;
    counter_view_relay counter_relay_;
    progress_view_relay progress_relay_;
    link_port& port_;
    wifi_session session_;
    tick_schedule schedule_;
};

} // namespace zev1
